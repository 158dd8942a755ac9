#include "CgmInterpreter.h"

#include <cmath>

namespace dv::cgm {

void Interpreter::text(Vec2 at, const QString& s, bool final, double restrictHeight) {
    flushText();
    m_text.open = true;
    m_text.at = at;
    m_text.text = s;
    m_text.restrictHeight = restrictHeight;
    if (final)
        flushText();
}

void Interpreter::appendText(const QString& s, bool final) {
    if (!m_text.open) {
        ++m_doc.skippedEntities[QStringLiteral("APPEND TEXT without TEXT")];
        return;
    }
    m_text.text += s;
    if (final)
        flushText();
}

void Interpreter::flushText() {
    if (!m_text.open || m_block < 0)
        return;
    m_text.open = false;
    const State& st = m_state;
    Text t;
    t.text = m_text.text;
    t.position = map(m_text.at);
    double h = st.charHeight > 0 ? st.charHeight : extentSize() / 100;
    if (m_text.restrictHeight > 0)
        h = std::min(h, m_text.restrictHeight);
    t.height = mapLength(h);

    // Orientation vectors in drawing space; their lengths shape the glyphs.
    const Vec2 o = map({0, 0});
    const Vec2 up = map({st.up[0], st.up[1]}), base = map({st.base[0], st.base[1]});
    const double ux = up.x - o.x, uy = up.y - o.y, bx = base.x - o.x, by = base.y - o.y;
    const double upLen = std::hypot(ux, uy), baseLen = std::hypot(bx, by);
    if (upLen > 0 && baseLen > 0 && std::isfinite(upLen) && std::isfinite(baseLen)) {
        t.rotation = std::atan2(by, bx);
        t.widthFactor = st.expansion * baseLen / upLen;
        // The up vector in the baseline's frame: leaning right is positive.
        const double c = std::cos(t.rotation), s = std::sin(t.rotation);
        const double lx = ux * c + uy * s, ly = -ux * s + uy * c;
        if (ly > 0)
            t.oblique = std::clamp(std::atan2(lx, ly), -1.3, 1.3);
    } else {
        t.widthFactor = st.expansion;
    }
    t.hAlign = st.hAlign == 2 ? Text::Center : st.hAlign == 3 ? Text::Right : Text::Left;
    switch (st.vAlign) {
    case 1:
    case 2:
        t.vAlign = Text::Top;
        break;
    case 3:
        t.vAlign = Text::Middle;
        break;
    case 5:
        t.vAlign = Text::Bottom;
        break;
    default:
        t.vAlign = Text::Baseline;
    }
    if (st.fontIndex >= 1 && st.fontIndex <= m_fonts.size())
        t.fontFamily = m_fonts[st.fontIndex - 1];
    Block& b = m_doc.blocks[size_t(m_block)];
    styled(b.addText(t), rgb(st.textColour, st.textIndexed), 0, QStringLiteral("TEXT"));
}

} // namespace dv::cgm
