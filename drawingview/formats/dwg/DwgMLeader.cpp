#include "DwgMLeader.h"

#include <vector>

namespace dv::dwg {

namespace {

struct LeaderLine {
    std::vector<Point3> points;
    int32_t index = 0;
    int pathType = 1;
};

struct LeaderRoot {
    bool contentValid = true, unknown = true;
    Point3 connection, direction;
    int32_t index = 0;
    double landing = 0;
    std::vector<LeaderLine> lines;
    int attachDirection = -1; // R2010 on
};

LeaderLine readLine(BitReader& r, BitReader& handles, uint64_t self) {
    LeaderLine line;
    const int32_t n = checkedCount(r, r.BL(), "leader line points");
    line.points.reserve(size_t(n));
    for (int32_t i = 0; i < n; ++i)
        line.points.push_back(r.BD3());
    const int32_t breaks = r.BL();
    if (breaks > 0) {
        r.BL(); // segment index
        const int32_t pairs = checkedCount(r, r.BL(), "leader line breaks");
        for (int32_t i = 0; i < pairs; ++i) {
            r.BD3();
            r.BD3();
        }
    }
    line.index = r.BL();
    if (r.atLeast(Release::R2010)) {
        line.pathType = r.BS();
        r.CMC();
        handles.H(self); // line type
        r.BL();          // line weight
        r.BD();          // arrow size
        handles.H(self); // arrow block
        r.BL();          // override flags
    }
    return line;
}

LeaderRoot readRoot(BitReader& r, BitReader& handles, uint64_t self) {
    LeaderRoot root;
    root.contentValid = r.B();
    root.unknown = r.B();
    root.connection = r.BD3();
    root.direction = r.BD3();
    const int32_t pairs = checkedCount(r, r.BL(), "leader breaks");
    for (int32_t i = 0; i < pairs; ++i) {
        r.BD3();
        r.BD3();
    }
    root.index = r.BL();
    root.landing = r.BD();
    const int32_t lines = checkedCount(r, r.BL(), "leader lines");
    for (int32_t i = 0; i < lines; ++i)
        root.lines.push_back(readLine(r, handles, self));
    if (r.atLeast(Release::R2010))
        root.attachDirection = r.BS();
    return root;
}

void writeRoots(const std::vector<LeaderRoot>& roots, GroupList& out) {
    for (const LeaderRoot& root : roots) {
        out.literal(302, "LEADER{");
        out.integer(290, root.contentValid ? 1 : 0);
        out.integer(291, root.unknown ? 1 : 0);
        out.point(10, root.connection);
        out.point(11, root.direction);
        out.integer(90, root.index);
        out.real(40, root.landing);
        for (const LeaderLine& line : root.lines) {
            out.literal(304, "LEADER_LINE{");
            for (const Point3& p : line.points)
                out.point(10, p);
            out.integer(91, line.index);
            out.literal(305, "}");
        }
        if (root.attachDirection >= 0)
            out.integer(271, root.attachDirection);
        out.literal(303, "}");
    }
}

// The text content of the context; `out` receives its groups.
void readText(BitReader& r, BitReader& handles, uint64_t self, const TextConverter& text,
              GroupList& out) {
    out.text(304, text(r.T()));
    out.point(11, r.BD3()); // normal
    out.handle(340, handles.H(self).value);
    out.point(12, r.BD3()); // location
    out.point(13, r.BD3()); // direction
    out.real(42, r.BD());   // rotation, radians
    out.real(43, r.BD());   // width
    out.real(44, r.BD());   // height
    out.real(45, r.BD());   // line spacing factor
    out.integer(170, r.BS());
    r.CMC();                  // colour
    out.integer(171, r.BS()); // attachment
    out.integer(172, r.BS()); // flow direction
    r.CMC();                  // background
    out.real(141, r.BD());
    out.integer(92, r.BL());
    out.integer(291, r.B());
    out.integer(292, r.B());
    out.integer(173, r.BS()); // column type
    out.integer(293, r.B());
    out.real(142, r.BD());
    out.real(143, r.BD());
    out.integer(294, r.B());
    const int32_t columns = checkedCount(r, r.BL(), "text columns");
    for (int32_t i = 0; i < columns; ++i)
        out.real(144, r.BD());
    out.integer(295, r.B()); // word break
    out.integer(296, r.B());
}

void readBlock(BitReader& r, BitReader& handles, uint64_t self, GroupList& out) {
    out.handle(341, handles.H(self).value);
    out.point(14, r.BD3()); // normal
    out.point(15, r.BD3()); // location
    out.point(16, r.BD3()); // scale
    out.real(46, r.BD());   // rotation, radians
    r.CMC();
    for (int i = 0; i < 16; ++i)
        out.real(47, r.BD()); // transformation
}

void readContext(BitReader& r, BitReader& handles, uint64_t self, const TextConverter& text,
                 GroupList& out) {
    std::vector<LeaderRoot> roots;
    const int32_t n = checkedCount(r, r.BL(), "leader roots");
    for (int32_t i = 0; i < n; ++i)
        roots.push_back(readRoot(r, handles, self));
    out.literal(300, "CONTEXT_DATA{");
    out.real(40, r.BD());   // scale
    out.point(10, r.BD3()); // content base point
    out.real(41, r.BD());   // text height
    out.real(140, r.BD());  // arrow size
    out.real(145, r.BD());  // landing gap
    out.integer(174, r.BS());
    out.integer(175, r.BS());
    out.integer(176, r.BS());
    out.integer(177, r.BS());
    const bool hasText = r.B();
    out.integer(290, hasText ? 1 : 0);
    if (hasText) {
        readText(r, handles, self, text, out);
    } else {
        const bool hasBlock = r.B();
        out.integer(296, hasBlock ? 1 : 0);
        if (hasBlock)
            readBlock(r, handles, self, out);
    }
    out.point(110, r.BD3()); // the plane: origin, X and Y axes
    out.point(111, r.BD3());
    out.point(112, r.BD3());
    out.integer(297, r.B());
    writeRoots(roots, out);
    if (r.atLeast(Release::R2010)) {
        out.integer(272, r.BS());
        out.integer(273, r.BS());
    }
    out.literal(301, "}");
}

} // namespace

void decodeMLeader(BitReader& r, BitReader& handles, uint64_t self, const TextConverter& text,
                   GroupList& out) {
    out.literal(100, "AcDbMLeader");
    if (r.atLeast(Release::R2010))
        out.integer(270, r.BS());
    readContext(r, handles, self, text, out);
    out.handle(340, handles.H(self).value); // style
    out.integer(90, r.BL());                // overridden properties
    out.integer(170, r.BS());               // leader type
    r.CMC();                                // line colour
    out.handle(341, handles.H(self).value); // line type
    out.integer(171, r.BL());
    out.integer(290, r.B()); // landing
    out.integer(291, r.B()); // dogleg
    out.real(41, r.BD());
    if (const uint64_t arrow = handles.H(self).value)
        out.handle(342, arrow);
    out.real(42, r.BD());
    out.integer(172, r.BS()); // content type
    out.handle(343, handles.H(self).value);
    out.integer(173, r.BS());
    out.integer(95, r.BS());
    out.integer(174, r.BS());
    out.integer(175, r.BS());
    r.CMC();                 // text colour
    out.integer(292, r.B()); // frame
    if (const uint64_t block = handles.H(self).value)
        out.handle(344, block);
    r.CMC();                // block colour
    out.point(10, r.BD3()); // block scale
    out.real(43, r.BD());
    out.integer(176, r.BS());
    // What follows (arrow heads per leader, attribute labels, alignment)
    // changes nothing drawn from the groups above.
}

} // namespace dv::dwg
