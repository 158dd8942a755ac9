#include "CgmInterpreter.h"

#include <cmath>

namespace dv::cgm {

State::State() {
    // Index 0 is the background, 1 the foreground; then the usual primaries.
    const uint32_t standard[] = {0xFFFFFF, 0x000000, 0xFF0000, 0x00FF00,
                                 0x0000FF, 0xFFFF00, 0xFF00FF, 0x00FFFF};
    for (uint32_t i = 0; i < 8; ++i)
        colourTable[i] = standard[i];
    edge.width = 1;
}

uint32_t State::indexColour(uint32_t index) const {
    const auto it = colourTable.find(index);
    return it == colourTable.end() ? 0x000000 : it->second;
}

void Interpreter::setPrecisions(const Precisions& p) {
    m_state.prec = p;
    m_defaults.prec = p;
}

Interpreter::Interpreter(Document& doc) : m_doc(doc) {
    m_layer = doc.layerIndex(QStringLiteral("0"));
}

void Interpreter::apply(const Element& e) {
    ParamReader r(e.data, m_state.prec);
    switch (e.cls) {
    case 0:
        delimiter(e);
        return;
    case 1:
        metafileDescriptor(e, r);
        return;
    case 2:
        pictureDescriptor(e, r);
        return;
    case 3:
        control(e, r);
        return;
    case 4:
        primitive(e, r);
        return;
    case 5:
        attribute(e, r);
        return;
    default:
        skipped(e);
    }
}

void Interpreter::skipped(const Element& e) {
    ++m_doc.skippedEntities[e.label.isEmpty() ? elementName(e.cls, e.id) : e.label];
}

void Interpreter::delimiter(const Element& e) {
    ParamReader r(e.data, m_state.prec);
    switch (e.id) {
    case 0: // no-op
    case 1: // BEGIN METAFILE
    case 4: // BEGIN PICTURE BODY, see below
        if (e.id == 4 && m_block >= 0)
            backgroundRect();
        return;
    case 2:
        finishOpenPicture();
        m_ended = true;
        return;
    case 3: {
        finishOpenPicture();
        QString name = r.atEnd() ? QString() : r.string().trimmed();
        ++m_pictureCount;
        if (name.isEmpty())
            name = QStringLiteral("Picture %1").arg(m_pictureCount);
        m_state = m_defaults;
        Block block;
        block.name = QStringLiteral("*Picture%1").arg(m_pictureCount);
        m_doc.blocks.push_back(std::move(block));
        m_block = int(m_doc.blocks.size()) - 1;
        Layout layout;
        layout.name = name;
        layout.tabOrder = int(m_doc.layouts.size());
        layout.block = m_block;
        layout.paperSpace = true;
        m_doc.layouts.push_back(layout);
        return;
    }
    case 5:
        finishOpenPicture();
        return;
    case 6: // segments only group what follows
    case 7:
        return;
    case 8:
        m_figure = {true, {{}}};
        return;
    case 9:
        endFigure();
        return;
    default:
        skipped(e);
    }
}

void Interpreter::finishOpenPicture() {
    if (m_block < 0)
        return;
    endFigure();
    flushText();
    m_block = -1;
    ++m_picturesDone;
}

void Interpreter::metafileDescriptor(const Element& e, ParamReader& r) {
    Precisions& p = m_state.prec;
    switch (e.id) {
    case 1: // version, description, lists: nothing to draw
    case 2:
    case 11:
    case 14:
    case 15:
    case 16:
    case 17:
        return;
    case 3:
        p.vdcReal = r.enumeration() == 1;
        if (!m_state.extentSet) {
            m_state.extent[2] = p.vdcReal ? 1.0 : 32767.0;
            m_state.extent[3] = p.vdcReal ? 1.0 : 32767.0;
        }
        break;
    case 4:
        p.integer = checkedPrecision(r.integer(), true, "integer");
        break;
    case 5:
        p.real = r.realFormat();
        break;
    case 6:
        p.index = checkedPrecision(r.integer(), true, "index");
        break;
    case 7:
        p.colour = checkedPrecision(r.integer(), true, "colour");
        break;
    case 8:
        p.colourIndex = checkedPrecision(r.integer(), true, "colour index");
        break;
    case 9:
        return;
    case 10:
        for (uint32_t* bound : {p.colourMin, p.colourMax})
            for (int c = 0; c < 3; ++c)
                bound[c] = uint32_t(r.unsignedInt(p.colour));
        break;
    case 12:
        defaultsReplacement(e);
        return;
    case 13:
        m_fonts.clear();
        while (!r.atEnd())
            m_fonts.append(r.string());
        return;
    case 19: {
        const int model = int(r.index());
        if (model != 1)
            ++m_doc.skippedEntities[QStringLiteral("COLOUR MODEL %1 (drawn as RGB)").arg(model)];
        return;
    }
    default:
        skipped(e);
        return;
    }
    // Precisions hold for the rest of the file, pictures included.
    if (m_defaultsDepth == 0)
        m_defaults.prec = p;
}

void Interpreter::defaultsReplacement(const Element& e) {
    // The contained elements set the defaults every picture starts from.
    if (m_defaultsDepth > 0)
        throw FormatError(QStringLiteral("METAFILE DEFAULTS REPLACEMENT inside itself"));
    const State saved = m_state;
    m_state = m_defaults;
    m_state.prec = saved.prec;
    ++m_defaultsDepth;
    try {
        ElementStream inner(e.data.constData(), size_t(e.data.size()));
        Element sub;
        while (inner.next(sub)) {
            if (sub.cls == 0 || sub.cls == 4)
                throw FormatError(QStringLiteral("%1 inside METAFILE DEFAULTS REPLACEMENT")
                                      .arg(elementName(sub.cls, sub.id)));
            apply(sub);
        }
    } catch (...) {
        --m_defaultsDepth;
        m_state = saved;
        throw;
    }
    --m_defaultsDepth;
    m_defaults = m_state;
    if (m_block >= 0)
        m_state = saved;
}

void Interpreter::pictureDescriptor(const Element& e, ParamReader& r) {
    auto sizeMode = [&] {
        const int m = r.enumeration();
        return m >= 0 && m <= 3 ? SizeMode(m) : SizeMode::Scaled;
    };
    switch (e.id) {
    case 1: {
        m_state.metric = r.enumeration() == 1;
        // The factor is a floating-point real whatever REAL PRECISION says
        // in some writers; we follow the precision in force.
        const double f = r.atEnd() ? 1.0 : r.real();
        m_state.metricFactor = std::isfinite(f) && f > 0 ? f : 1.0;
        if (m_state.metric && m_defaultsDepth == 0)
            m_anyMetric = true;
        return;
    }
    case 2:
        m_state.prec.directColour = r.enumeration() == 1;
        return;
    // A new mode makes the size its default again: 1 in one mode is not 1
    // in another.
    case 3:
        m_state.line.mode = sizeMode();
        m_state.line.width = -1;
        return;
    case 4:
        m_state.markerMode = sizeMode();
        m_state.markerSize = -1;
        return;
    case 5:
        m_state.edge.mode = sizeMode();
        m_state.edge.width = -1;
        return;
    case 6: {
        double v[4];
        for (double& x : v)
            x = r.vdc();
        for (double x : v)
            if (!std::isfinite(x))
                throw FormatError(QStringLiteral("the VDC extent is not a finite rectangle"));
        if (v[0] == v[2] || v[1] == v[3])
            throw FormatError(QStringLiteral("the VDC extent is empty"));
        std::copy(v, v + 4, m_state.extent);
        m_state.extentSet = true;
        return;
    }
    case 7:
        m_state.background = r.directColour();
        return;
    case 8:
    case 9:
        return;
    default:
        skipped(e);
    }
}

void Interpreter::control(const Element& e, ParamReader& r) {
    Precisions& p = m_state.prec;
    switch (e.id) {
    case 1: {
        const int64_t bits = r.integer();
        if (bits == 8)
            throw FormatError(QStringLiteral("the VDC integer precision 8 is not allowed"));
        p.vdcInteger = checkedPrecision(bits, false, "VDC integer");
        return;
    }
    case 2:
        p.vdcRealFormat = r.realFormat();
        return;
    case 3: // auxiliary colour and transparency: no effect on a white page
    case 4:
        return;
    case 5: // clip rectangle and indicator: the picture is drawn unclipped
    case 6:
        ++m_doc.skippedEntities[elementName(e.cls, e.id)];
        return;
    case 10: // NEW REGION: the figure's boundary goes on as a further ring
        if (m_figure.open && !m_figure.rings.back().empty())
            m_figure.rings.emplace_back();
        return;
    default:
        skipped(e);
    }
}

void Interpreter::readColour(ParamReader& r, uint32_t& value, bool& indexed) {
    indexed = !m_state.prec.directColour;
    value = indexed ? r.colourIndex() : r.directColour();
}

double Interpreter::readSize(ParamReader& r, SizeMode mode) {
    const double v = mode == SizeMode::Absolute ? r.vdc() : r.real();
    return std::isfinite(v) && v >= 0 ? v : 0.0;
}

void Interpreter::attribute(const Element& e, ParamReader& r) {
    State& s = m_state;
    switch (e.id) {
    case 2:
        s.line.type = int(r.index());
        return;
    case 3:
        s.line.width = readSize(r, s.line.mode);
        return;
    case 4:
        readColour(r, s.line.colour, s.line.indexed);
        return;
    case 6:
        s.markerType = int(r.index());
        return;
    case 7:
        s.markerSize = readSize(r, s.markerMode);
        return;
    case 8:
        readColour(r, s.markerColour, s.markerIndexed);
        return;
    case 10:
        s.fontIndex = int(r.index());
        return;
    case 12: {
        const double f = r.real();
        s.expansion = std::isfinite(f) && f > 0 ? f : 1.0;
        return;
    }
    case 14:
        readColour(r, s.textColour, s.textIndexed);
        return;
    case 15: {
        const double h = r.vdc();
        s.charHeight = std::isfinite(h) ? std::abs(h) : 0.0;
        return;
    }
    case 16:
        s.up[0] = r.vdc();
        s.up[1] = r.vdc();
        s.base[0] = r.vdc();
        s.base[1] = r.vdc();
        return;
    case 18:
        s.hAlign = r.enumeration();
        s.vAlign = r.enumeration();
        return;
    case 22:
        s.interiorStyle = r.enumeration();
        return;
    case 23:
        readColour(r, s.fillColour, s.fillIndexed);
        return;
    case 24:
        s.hatchIndex = int(r.index());
        return;
    case 27:
        s.edge.type = int(r.index());
        return;
    case 28:
        s.edge.width = readSize(r, s.edge.mode);
        return;
    case 29:
        readColour(r, s.edge.colour, s.edge.indexed);
        return;
    case 30:
        s.edgeVisible = r.enumeration() == 1;
        return;
    case 34: {
        uint32_t index = r.colourIndex();
        // Each entry takes bytes, so the loop ends with the data.
        while (!r.atEnd())
            s.colourTable[index++] = r.directColour();
        return;
    }
    // Bundles, precision, spacing, path, character sets, patterns and
    // aspect source flags change nothing we draw.
    case 1:
    case 5:
    case 9:
    case 11:
    case 13:
    case 17:
    case 19:
    case 20:
    case 21:
    case 25:
    case 26:
    case 31:
    case 32:
    case 33:
    case 35:
        return;
    default:
        skipped(e);
    }
}

} // namespace dv::cgm
