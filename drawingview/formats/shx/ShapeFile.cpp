#include "ShapeFile.h"

#include "formats/common/PolylineBands.h"

#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace dv::shx {

namespace {

constexpr char kSignature[] = "AutoCAD-86 shapes 1.";
constexpr size_t kHeaderSize = 24; // the signature, its version digit, CR LF and ^Z
// Subshapes that call subshapes: real files go one or two deep.
constexpr int kMaxDepth = 8;
// Work for one shape, subshapes included; a loop of subshapes ends here.
constexpr size_t kMaxCommands = 20000;
constexpr size_t kMaxPoints = 20000;
constexpr size_t kMaxStack = 16;
constexpr double kOctant = std::numbers::pi / 4;

uint16_t u16(const uint8_t* p) {
    return qFromLittleEndian<uint16_t>(p);
}

// The vector of a length-and-direction code's direction: sixteen on a unit square.
Vec2 direction(int d) {
    static constexpr double x[16] = {1, 1, 1, 0.5, 0, -0.5, -1, -1, -1, -1, -1, -0.5, 0, 0.5, 1, 1};
    static constexpr double y[16] = {0, 0.5, 1, 1, 1, 1, 1, 0.5, 0, -0.5, -1, -1, -1, -1, -1, -0.5};
    return {x[d & 15], y[d & 15]};
}

// Follows a shape's codes as a pen would, collecting what it draws.
class Pen {
public:
    Pen(const ShapeFile& file, ShapeStrokes& out) : m_file(file), m_out(out) {}

    void run(uint16_t number, int depth) {
        const ShapeCodes* shape = m_file.find(number);
        if (!shape || depth > kMaxDepth)
            return;
        const std::vector<uint8_t>& c = shape->codes;
        size_t i = 0;
        auto next = [&]() -> int { return i < c.size() ? c[i++] : 0; };
        auto nextSigned = [&]() -> int { return int(int8_t(uint8_t(next()))); };
        while (i < c.size() && ++m_commands <= kMaxCommands) {
            const int code = c[i++];
            if (code >> 4) {
                const Vec2 d = direction(code);
                moveBy((code >> 4) * d.x, (code >> 4) * d.y);
                continue;
            }
            switch (code) {
            case 0:
                return;
            case 1:
                m_down = true;
                break;
            case 2:
                m_down = false;
                endStroke();
                break;
            case 3:
                if (const int n = next())
                    m_scale /= n;
                break;
            case 4:
                if (const int n = next())
                    m_scale *= n;
                break;
            case 5:
                if (m_stack.size() < kMaxStack)
                    m_stack.push_back(m_at);
                break;
            case 6:
                if (!m_stack.empty()) {
                    endStroke();
                    m_at = m_stack.back();
                    m_stack.pop_back();
                }
                break;
            case 7:
                run(uint16_t(next()), depth + 1);
                break;
            case 8:
            case 12: {
                const int dx = nextSigned(), dy = nextSigned();
                if (code == 8)
                    moveBy(dx, dy);
                else
                    bulgeTo(dx, dy, nextSigned());
                break;
            }
            case 9:
            case 13:
                // Displacements (with bulges for 13) up to a (0,0) pair.
                while (i + 1 < c.size()) {
                    const int dx = nextSigned(), dy = nextSigned();
                    if (dx == 0 && dy == 0)
                        break;
                    if (code == 9)
                        moveBy(dx, dy);
                    else
                        bulgeTo(dx, dy, nextSigned());
                }
                break;
            case 10: {
                const int radius = next();
                octantArc(radius, nextSigned(), 0, 0);
                break;
            }
            case 11: {
                const int startOffset = next(), endOffset = next();
                const int high = next(), low = next();
                octantArc(high * 256 + low, nextSigned(), startOffset, endOffset);
                break;
            }
            case 14:
                // Only for vertical text, which a linetype's shape never is.
                i = std::min(c.size(), i + commandLength(c, i));
                break;
            default:
                break; // not a code: nothing to do
            }
        }
    }

    void finish() { endStroke(); }

private:
    // Bytes taken by the command at `i` with its operands.
    static size_t commandLength(const std::vector<uint8_t>& c, size_t i) {
        if (i >= c.size())
            return 0;
        const int code = c[i];
        if (code >> 4)
            return 1;
        auto pairs = [&](size_t width) {
            size_t n = 1;
            while (i + n + 1 < c.size()) {
                const bool end = c[i + n] == 0 && c[i + n + 1] == 0;
                n += end ? 2 : width;
                if (end)
                    break;
            }
            return n;
        };
        switch (code) {
        case 3:
        case 4:
        case 7:
            return 2;
        case 8:
        case 10:
            return 3;
        case 9:
            return pairs(2);
        case 11:
            return 6;
        case 12:
            return 4;
        case 13:
            return pairs(3);
        default:
            return 1;
        }
    }

    void moveBy(double dx, double dy) { lineTo({m_at.x + dx * m_scale, m_at.y + dy * m_scale}); }

    void lineTo(Vec2 p) {
        if (!std::isfinite(p.x) || !std::isfinite(p.y))
            return;
        if (m_down && m_points < kMaxPoints) {
            if (m_stroke.empty())
                m_stroke.push_back(m_at);
            m_stroke.push_back(p);
            ++m_points;
        }
        m_at = p;
    }

    // An arc through whole octants (code 10) or parts of them (code 11):
    // offsets are 256ths of an octant past the first and last boundaries.
    void octantArc(int radius, int spec, int startOffset, int endOffset) {
        const bool clockwise = spec < 0;
        const int a = std::abs(spec);
        const int first = (a >> 4) & 7;
        const int span = (a & 7) ? (a & 7) : 8;
        const double r = radius * m_scale;
        const double start = (first + startOffset / 256.0) * kOctant;
        // Without offsets the arc runs whole octants; with them it ends
        // `endOffset` past the last boundary it crosses.
        double end;
        if (!startOffset && !endOffset)
            end = (clockwise ? first - span : first + span) * kOctant;
        else if (clockwise)
            end = (first - span + 1 - endOffset / 256.0) * kOctant;
        else
            end = (endOffset ? first + span - 1 + endOffset / 256.0 : first + span) * kOctant;
        const Vec2 center{m_at.x - r * std::cos(start), m_at.y - r * std::sin(start)};
        arc(center, r, start, end - start);
    }

    void bulgeTo(int dx, int dy, int bulge) {
        const Vec2 to{m_at.x + dx * m_scale, m_at.y + dy * m_scale};
        BulgeArc a;
        if (bulge == 0 || !bulgeArc(m_at, to, bulge / 127.0, a)) {
            lineTo(to);
            return;
        }
        arc(a.center, a.radius, a.start, a.sweep);
        m_at = to; // exactly, whatever the rounding of the last step
    }

    void arc(Vec2 center, double r, double start, double sweep) {
        const int steps = std::clamp(int(std::ceil(std::abs(sweep) / (kOctant / 6))), 1, 96);
        for (int k = 1; k <= steps; ++k) {
            const double t = start + sweep * k / steps;
            lineTo({center.x + r * std::cos(t), center.y + r * std::sin(t)});
        }
    }

    void endStroke() {
        if (m_stroke.size() >= 2)
            m_out.strokes.push_back(std::move(m_stroke));
        m_stroke.clear();
    }

    const ShapeFile& m_file;
    ShapeStrokes& m_out;
    Vec2 m_at;
    bool m_down = true;
    double m_scale = 1;
    std::vector<Vec2> m_stack;
    std::vector<Vec2> m_stroke;
    size_t m_commands = 0;
    size_t m_points = 0;
};

} // namespace

ShapeFile ShapeFile::parse(const QByteArray& bytes) {
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
    const size_t size = size_t(bytes.size());
    const size_t signature = sizeof(kSignature) - 1;
    if (size < kHeaderSize + 6 ||
        !std::equal(kSignature, kSignature + signature, bytes.constData()))
        throw ShapeFileError("not a compiled shape file");
    const size_t count = u16(data + kHeaderSize + 4);
    size_t index = kHeaderSize + 6;
    if (count * 4 > size - index)
        throw ShapeFileError("its index of " + std::to_string(count) +
                             " shapes runs past the end of the file");
    size_t at = index + count * 4;
    ShapeFile file;
    for (size_t n = 0; n < count; ++n, index += 4) {
        const uint16_t number = u16(data + index);
        const size_t length = u16(data + index + 2);
        if (length > size - at)
            throw ShapeFileError("shape " + std::to_string(number) +
                                 " runs past the end of the file");
        const uint8_t* begin = data + at;
        const uint8_t* end = begin + length;
        at += length;
        const uint8_t* nul = std::find(begin, end, uint8_t(0));
        if (nul == end)
            throw ShapeFileError("shape " + std::to_string(number) + " has no name");
        ShapeCodes shape;
        shape.name.assign(reinterpret_cast<const char*>(begin), size_t(nul - begin));
        shape.codes.assign(nul + 1, end);
        file.m_shapes.emplace(number, std::move(shape)); // the first of a number wins
    }
    return file;
}

ShapeFile ShapeFile::fromShapes(std::map<uint16_t, ShapeCodes> shapes) {
    ShapeFile file;
    file.m_shapes = std::move(shapes);
    return file;
}

const ShapeCodes* ShapeFile::find(uint16_t number) const {
    const auto it = m_shapes.find(number);
    return it == m_shapes.end() ? nullptr : &it->second;
}

ShapeStrokes ShapeFile::strokes(uint16_t number) const {
    ShapeStrokes out;
    Pen pen(*this, out);
    pen.run(number, 0);
    pen.finish();
    return out;
}

} // namespace dv::shx
