#include "DwgHeader.h"

#include "DwgSectionData.h"

#include <cstring>

namespace dv::dwg {

namespace {

constexpr unsigned char kHeaderStart[16] = {0xCF, 0x7B, 0x1F, 0x23, 0xFD, 0xDE, 0x38, 0xA9,
                                            0x5F, 0x7C, 0x68, 0xB8, 0x4E, 0x6D, 0x33, 0x5F};

// The variables in the order they are stored, up to the block records of
// the two spaces. Most are skipped: only their encoding matters here.
void readVariables(BitReader& r, HeaderVars& v) {
    const bool r13_14 = !r.atLeast(Release::R2000);
    const bool r2000 = r.atLeast(Release::R2000);
    const bool r2004 = r.atLeast(Release::R2004);
    const bool r2007 = r.atLeast(Release::R2007);
    if (r.atLeast(Release::R2013))
        r.BLL(); // REQUIREDVERSIONS
    for (int i = 0; i < 4; ++i)
        r.BD();
    for (int i = 0; i < 4; ++i)
        r.T();
    r.BL();
    r.BL();
    if (r13_14)
        r.BS();
    if (!r2004)
        r.H();
    for (int i = 0; i < 2; ++i) // DIMASO DIMSHO
        r.B();
    if (r13_14)
        r.B();                  // DIMSAV
    for (int i = 0; i < 5; ++i) // PLINEGEN ORTHOMODE REGENMODE FILLMODE QTEXTMODE
        r.B();
    v.psLtScale = r.B();
    r.B(); // LIMCHECK
    if (r13_14)
        r.B(); // BLIPMODE
    if (r2004)
        r.B();
    for (int i = 0; i < 4; ++i) // USRTIMER SKPOLY ANGDIR SPLFRAME
        r.B();
    if (r13_14) {
        r.B(); // ATTREQ
        r.B(); // ATTDIA
    }
    r.B(); // MIRRTEXT
    r.B(); // WORLDVIEW
    if (r13_14)
        r.B(); // WIREFRAME
    v.tileMode = r.B() ? 1 : 0;
    r.B(); // PLIMCHECK
    r.B(); // VISRETAIN
    if (r13_14)
        r.B(); // DELOBJ
    r.B();     // DISPSILH
    r.B();     // PELLIPSE
    r.BS();    // PROXYGRAPHICS
    if (r13_14)
        r.BS();                 // DRAGMODE
    for (int i = 0; i < 5; ++i) // TREEDEPTH LUNITS LUPREC AUNITS AUPREC
        r.BS();
    if (r13_14)
        r.BS(); // OSMODE
    r.BS();     // ATTMODE
    if (r13_14)
        r.BS(); // COORDS
    v.pdMode = r.BS();
    if (r13_14)
        r.BS(); // PICKSTYLE
    if (r2004)
        for (int i = 0; i < 3; ++i)
            r.BL();
    for (int i = 0; i < 5; ++i) // USERI1-5
        r.BS();
    // SPLINESEGS SURFU SURFV SURFTYPE SURFTAB1 SURFTAB2 SPLINETYPE SHADEDGE
    // SHADEDIF UNITMODE MAXACTVP ISOLINES CMLJUST TEXTQLTY
    for (int i = 0; i < 14; ++i)
        r.BS();
    v.ltScale = r.BD();
    v.textSize = r.BD();
    // TRACEWID SKETCHINC FILLETRAD THICKNESS ANGBASE
    for (int i = 0; i < 5; ++i)
        r.BD();
    v.pdSize = r.BD();
    r.BD();                     // PLINEWID
    for (int i = 0; i < 5; ++i) // USERR1-5
        r.BD();
    for (int i = 0; i < 4; ++i) // CHAMFERA-D
        r.BD();
    r.BD(); // FACETRES
    r.BD(); // CMLSCALE
    v.celtScale = r.BD();
    if (!r2007)
        r.T();                  // MENUNAME
    for (int i = 0; i < 4; ++i) // TDCREATE TDUPDATE: day and milliseconds
        r.BL();
    if (r2004)
        for (int i = 0; i < 3; ++i)
            r.BL();
    for (int i = 0; i < 4; ++i) // TDINDWG TDUSRTIMER
        r.BL();
    r.CMC();                    // CECOLOR
    r.ownH();                   // HANDSEED, kept with the data
    for (int i = 0; i < 3; ++i) // CLAYER TEXTSTYLE CELTYPE
        r.H();
    if (r2007)
        r.H(); // CMATERIAL
    r.H();     // DIMSTYLE
    r.H();     // CMLSTYLE
    if (r2000)
        r.BD(); // PSVPSCALE
    auto space = [&](bool model) {
        r.BD3(); // INSBASE
        const Point3 emin = r.BD3();
        const Point3 emax = r.BD3();
        const Point2 lmin = r.RD2();
        const Point2 lmax = r.RD2();
        r.BD();  // ELEVATION
        r.BD3(); // UCSORG
        r.BD3(); // UCSXDIR
        r.BD3(); // UCSYDIR
        r.H();   // UCSNAME
        if (r2000) {
            r.H();  // UCSORTHOREF
            r.BS(); // UCSORTHOVIEW
            r.H();  // UCSBASE
            for (int i = 0; i < 6; ++i)
                r.BD3();
        }
        if (model) {
            v.extMin = emin;
            v.extMax = emax;
            v.limMin = lmin;
            v.limMax = lmax;
        }
    };
    space(false);
    space(true);
    if (r2000) {
        r.T(); // DIMPOST
        r.T(); // DIMAPOST
    }
    if (r13_14) {
        for (int i = 0; i < 11; ++i) // DIMTOL ... DIMSOXD
            r.B();
        r.RC();                     // DIMALTD
        r.RC();                     // DIMZIN
        r.B();                      // DIMSD1
        r.B();                      // DIMSD2
        for (int i = 0; i < 3; ++i) // DIMTOLJ DIMJUST DIMFIT
            r.RC();
        r.B();                      // DIMUPT
        for (int i = 0; i < 4; ++i) // DIMTZIN DIMALTZ DIMALTTZ DIMTAD
            r.RC();
        r.BS(); // DIMUNIT
        r.BS(); // DIMAUNIT
        v.dimDec = r.BS();
        for (int i = 0; i < 3; ++i) // DIMTDEC DIMALTU DIMALTTD
            r.BS();
        r.H(); // DIMTXSTY
    }
    v.dimScale = r.BD();
    v.dimAsz = r.BD();
    // DIMEXO DIMDLI DIMEXE DIMRND DIMDLE DIMTP DIMTM
    for (int i = 0; i < 7; ++i)
        r.BD();
    if (r2007) {
        r.BD();
        r.BD();
        r.BS();
        r.CMC();
    }
    if (r2000) {
        for (int i = 0; i < 6; ++i) // DIMTOL DIMLIM DIMTIH DIMTOH DIMSE1 DIMSE2
            r.B();
        for (int i = 0; i < 3; ++i) // DIMTAD DIMZIN DIMAZIN
            r.BS();
    }
    if (r2007)
        r.BS(); // DIMARCSYM
    v.dimTxt = r.BD();
    // DIMCEN DIMTSZ DIMALTF DIMLFAC DIMTVP DIMTFAC DIMGAP
    for (int i = 0; i < 7; ++i)
        r.BD();
    if (r13_14)
        for (int i = 0; i < 5; ++i) // DIMPOST DIMAPOST DIMBLK DIMBLK1 DIMBLK2
            r.T();
    if (r2000) {
        r.BD();                     // DIMALTRND
        r.B();                      // DIMALT
        r.BS();                     // DIMALTD
        for (int i = 0; i < 4; ++i) // DIMTOFL DIMSAH DIMTIX DIMSOXD
            r.B();
    }
    for (int i = 0; i < 3; ++i) // DIMCLRD DIMCLRE DIMCLRT
        r.CMC();
    if (r2000) {
        r.BS(); // DIMADEC
        v.dimDec = r.BS();
        // DIMTDEC DIMALTU DIMALTTD DIMAUNIT DIMFRAC DIMLUNIT DIMDSEP DIMTMOVE DIMJUST
        for (int i = 0; i < 9; ++i)
            r.BS();
        r.B();                      // DIMSD1
        r.B();                      // DIMSD2
        for (int i = 0; i < 4; ++i) // DIMTOLJ DIMTZIN DIMALTZ DIMALTTZ
            r.BS();
        r.B();  // DIMUPT
        r.BS(); // DIMATFIT
    }
    if (r2007)
        r.B(); // DIMFXLON
    if (r.atLeast(Release::R2010)) {
        r.B();
        r.BD();
        r.T();
        r.BD();
        r.T();
    }
    if (r2000)
        for (int i = 0; i < 5; ++i) // DIMTXSTY DIMLDRBLK DIMBLK DIMBLK1 DIMBLK2
            r.H();
    if (r2007)
        for (int i = 0; i < 3; ++i)
            r.H();
    if (r2000) {
        r.BS(); // DIMLWD
        r.BS(); // DIMLWE
    }
    for (int i = 0; i < 9; ++i) // the table control objects
        r.H();
    if (!r2004)
        r.H();                  // viewport entity header control
    for (int i = 0; i < 3; ++i) // ACAD_GROUP, ACAD_MLINESTYLE and the named objects
        r.H();
    if (!r2000) {
        v.complete = true;
        return;
    }
    r.BS();                     // TSTACKALIGN
    r.BS();                     // TSTACKSIZE
    r.T();                      // HYPERLINKBASE
    r.T();                      // STYLESHEET
    for (int i = 0; i < 3; ++i) // LAYOUTS PLOTSETTINGS PLOTSTYLES dictionaries
        r.H();
    if (r2004) {
        r.H();
        r.H();
    }
    if (r2007)
        r.H();
    if (r.atLeast(Release::R2013))
        r.H();
    const int32_t flags = r.BL();
    const int lw = flags & 0x1F;
    v.celWeight = lw;
    v.lwDisplay = (flags & 0x200) == 0;
    v.insUnits = r.BS();
    const int plotStyleType = r.BS();
    if (plotStyleType == 3)
        r.H();
    r.T(); // FINGERPRINTGUID
    r.T(); // VERSIONGUID
    if (r2004) {
        for (int i = 0; i < 6; ++i)
            r.RC();
        r.BS();
        r.BS();
        r.RC();
        r.RC();
        r.T();
    }
    v.paperSpace = r.H().value;
    v.modelSpace = r.H().value;
    v.complete = true;
}

} // namespace

HeaderVars readHeaderVariables(Sections& s) {
    HeaderVars v;
    const QByteArray& h = s.header;
    const SectionData d = locateSectionData(h, kHeaderStart, s);
    if (!d.found) {
        s.problems.push_back("the header variables section has no start sentinel");
        return v;
    }
    if (d.cutOff) {
        s.problems.push_back("the header variables section is cut off");
    } else if (d.start + d.size + 2 <= size_t(h.size())) {
        uint16_t stored;
        std::memcpy(&stored, h.constData() + d.start + d.size, 2);
        if (crc16(0xC0C1, h.constData() + 16, d.start - 16 + d.size) != stored)
            s.problems.push_back("the header variables' CRC does not match");
    }
    BitReader r(h.constData() + d.start, d.size, s.release);
    try {
        if (s.release >= Release::R2007)
            useSectionStreams(r, true);
        readVariables(r, v);
    } catch (const FormatError& e) {
        s.problems.push_back(std::string("header variables: ") + e.what());
    }
    return v;
}

int readMeasurement(const QByteArray& templ, Release release) {
    // A description (its length in characters, then its text: UTF-16 from
    // R2007 on), then the units.
    const auto* p = reinterpret_cast<const uint8_t*>(templ.constData());
    const size_t size = size_t(templ.size());
    if (size < 4)
        return -1;
    const size_t description = size_t(p[0] | p[1] << 8) * (release >= Release::R2007 ? 2 : 1);
    if (description > size - 4)
        return -1;
    const int units = p[2 + description] | p[3 + description] << 8;
    return units == 0 || units == 1 ? units : -1;
}

} // namespace dv::dwg
