#include "DxfProxyGraphics.h"
#include "DxfTokenizer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <numbers>

namespace dv::dxf {

namespace {

enum Command : int32_t {
    Circle = 2,
    Circle3P = 3,
    CircularArc = 4,
    CircularArc3P = 5,
    Polyline = 6,
    Polygon = 7,
    Mesh = 8,
    Shell = 9,
    TextCmd = 10,
    Text2 = 11,
    AttributeColor = 14,
    AttributeLayer = 16,
    AttributeFill = 20,
    AttributeTrueColor = 22,
    PushModelTransform = 29,
    PushModelTransform2 = 30,
    PopModelTransform = 31,
    PolylineWithNormal = 32,
    UnicodeText = 36,
    UnicodeText2 = 38,
};
// Commands that only set what does not show in a plane view.
constexpr int32_t kQuietCommands[] = {1, 18, 19, 23, 24, 25, 26, 27, 28, 34, 35};

constexpr int kArcSteps = 64;
constexpr size_t kMaxTransformDepth = 64;
constexpr double kPi = std::numbers::pi;

struct Vec3 {
    double x = 0, y = 0, z = 0;
};

Vec3 cross(Vec3 a, Vec3 b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double norm(Vec3 a) {
    return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
}
Vec3 scaled(Vec3 a, double k) {
    return {a.x * k, a.y * k, a.z * k};
}

// Reads little-endian values from one command's bytes; past the end it
// fails, and the command is dropped.
class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    bool ok() const { return m_ok; }
    size_t left() const { return m_size - m_pos; }

    int32_t int32() {
        int32_t v = 0;
        take(&v, 4);
        return v;
    }
    double real() {
        double v = 0;
        take(&v, 8);
        return std::isfinite(v) ? v : (m_ok = false, 0.0);
    }
    Vec3 vertex() {
        Vec3 v;
        v.x = real();
        v.y = real();
        v.z = real();
        return v;
    }
    // A count of items of `itemSize` bytes that must all be there.
    size_t count(size_t itemSize) {
        const int32_t n = int32();
        if (n < 0 || size_t(n) > left() / itemSize) {
            m_ok = false;
            return 0;
        }
        return size_t(n);
    }
    // Zero-terminated, padded to a multiple of four bytes.
    std::string paddedString() {
        const uint8_t* start = m_data + m_pos;
        const auto* end = static_cast<const uint8_t*>(std::memchr(start, 0, left()));
        if (!end) {
            m_ok = false;
            return {};
        }
        std::string s(reinterpret_cast<const char*>(start), size_t(end - start));
        skip(((s.size() + 1 + 3) / 4) * 4);
        return s;
    }
    QString paddedUnicode() {
        QString s;
        size_t used = 0;
        while (left() - used >= 2) {
            const char16_t c = char16_t(m_data[m_pos + used] | (m_data[m_pos + used + 1] << 8));
            used += 2;
            if (c == 0) {
                skip(((used + 3) / 4) * 4);
                return s;
            }
            s += QChar(c);
        }
        m_ok = false;
        return {};
    }
    void skip(size_t n) {
        if (n > left()) {
            m_ok = false;
            m_pos = m_size;
            return;
        }
        m_pos += n;
    }

private:
    void take(void* out, size_t n) {
        if (n > left()) {
            m_ok = false;
            m_pos = m_size;
            return;
        }
        std::memcpy(out, m_data + m_pos, n); // the format is little-endian, as is this machine
        m_pos += n;
    }

    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
    bool m_ok = true;
};

using Matrix = std::array<double, 12>; // three rows of a 4 x 4 affine map

constexpr Matrix kIdentity{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0};

Matrix multiply(const Matrix& a, const Matrix& b) {
    Matrix m{};
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c) {
            double v = a[r * 4 + 0] * b[0 * 4 + c] + a[r * 4 + 1] * b[1 * 4 + c] +
                       a[r * 4 + 2] * b[2 * 4 + c];
            if (c == 3)
                v += a[r * 4 + 3];
            m[r * 4 + c] = v;
        }
    return m;
}

class Decoder {
public:
    explicit Decoder(ProxyGraphics& out) : m_out(out) {}

    void command(int32_t type, Bytes& b) {
        switch (type) {
        case Circle: {
            const Vec3 c = b.vertex();
            const double r = b.real();
            const Vec3 n = b.vertex();
            if (b.ok())
                arc(c, r, n, perpendicular(n), 2 * kPi, 1);
            return;
        }
        case CircularArc: {
            const Vec3 c = b.vertex();
            const double r = b.real();
            const Vec3 n = b.vertex(), start = b.vertex();
            const double sweep = b.real();
            const int32_t kind = b.int32();
            if (b.ok())
                arc(c, r, n, start, sweep, kind);
            return;
        }
        case Circle3P:
        case CircularArc3P: {
            const Vec3 p1 = b.vertex(), p2 = b.vertex(), p3 = b.vertex();
            const int32_t kind = type == Circle3P ? 1 : b.int32();
            if (b.ok())
                arc3(p1, p2, p3, type == Circle3P, kind);
            return;
        }
        case Polyline:
        case Polygon:
        case PolylineWithNormal: {
            const size_t n = b.count(24);
            std::vector<Vec2> pts;
            for (size_t i = 0; i < n; ++i)
                pts.push_back(map(b.vertex()));
            if (b.ok())
                path(std::move(pts), type == Polygon, type == Polygon && m_fill);
            return;
        }
        case Mesh:
            mesh(b);
            return;
        case Shell:
            shell(b);
            return;
        case TextCmd:
        case Text2:
        case UnicodeText:
        case UnicodeText2:
            text(type, b);
            return;
        case AttributeColor:
            m_color = Color::fromAci(b.int32());
            return;
        case AttributeTrueColor: {
            const uint32_t v = uint32_t(b.int32());
            switch (v >> 24) {
            case 0xC0:
                m_color = Color::byLayer();
                break;
            case 0xC1:
                m_color = Color::byBlock();
                break;
            case 0xC2:
                m_color = Color::fromRgb(v & 0xFFFFFF);
                break;
            case 0xC3:
                m_color = Color::fromAci(int(v & 0xFF));
                break;
            default:
                break;
            }
            return;
        }
        case AttributeLayer:
            m_layer = b.int32();
            return;
        case AttributeFill:
            m_fill = b.int32() != 0;
            return;
        case PushModelTransform:
        case PushModelTransform2: {
            std::array<double, 16> v{};
            for (double& x : v)
                x = b.real();
            if (!b.ok() || m_stack.size() >= kMaxTransformDepth)
                return;
            Matrix m{};
            std::copy(v.begin(), v.begin() + 12, m.begin());
            m_stack.push_back(m_current);
            m_current = multiply(m_current, m);
            return;
        }
        case PopModelTransform:
            if (!m_stack.empty()) {
                m_current = m_stack.back();
                m_stack.pop_back();
            }
            return;
        default:
            if (std::find(std::begin(kQuietCommands), std::end(kQuietCommands), type) ==
                std::end(kQuietCommands))
                ++m_out.unknownCommands;
            return;
        }
    }

private:
    Vec3 apply(Vec3 p) const {
        const Matrix& m = m_current;
        return {m[0] * p.x + m[1] * p.y + m[2] * p.z + m[3],
                m[4] * p.x + m[5] * p.y + m[6] * p.z + m[7],
                m[8] * p.x + m[9] * p.y + m[10] * p.z + m[11]};
    }
    // Seen from above: the plane view drops the height.
    Vec2 map(Vec3 p) const {
        const Vec3 q = apply(p);
        return {q.x, q.y};
    }

    static Vec3 perpendicular(Vec3 n) {
        const Vec3 axis = std::abs(n.x) < 0.9 ? Vec3{1, 0, 0} : Vec3{0, 1, 0};
        const Vec3 u = cross(n, axis);
        const double l = norm(u);
        return l > 0 ? scaled(u, 1 / l) : Vec3{1, 0, 0};
    }

    // kind: 0 an open arc, 1 a sector (closed through the centre), 2 a chord.
    void arc(Vec3 c, double r, Vec3 n, Vec3 start, double sweep, int32_t kind) {
        const double nl = norm(n), sl = norm(start);
        if (!(r > 0) || !(nl > 0) || !(sl > 0) || !std::isfinite(sweep))
            return;
        n = scaled(n, 1 / nl);
        const Vec3 u = scaled(start, 1 / sl), v = cross(n, u);
        sweep = std::clamp(sweep, -2 * kPi, 2 * kPi);
        const bool full = std::abs(std::abs(sweep) - 2 * kPi) < 1e-9;
        std::vector<Vec2> pts;
        const int steps = full ? kArcSteps : std::max(2, int(kArcSteps * std::abs(sweep) / kPi));
        for (int i = 0; i <= steps - (full ? 1 : 0); ++i) {
            const double a = sweep * i / steps;
            const double ca = std::cos(a) * r, sa = std::sin(a) * r;
            pts.push_back(map(
                {c.x + u.x * ca + v.x * sa, c.y + u.y * ca + v.y * sa, c.z + u.z * ca + v.z * sa}));
        }
        if (full) {
            path(std::move(pts), true, m_fill);
            return;
        }
        if (kind == 1)
            pts.push_back(map(c));
        path(std::move(pts), kind == 1 || kind == 2, (kind == 1 || kind == 2) && m_fill);
    }

    void arc3(Vec3 p1, Vec3 p2, Vec3 p3, bool full, int32_t kind) {
        // The circle through three points of the plane view.
        const double ax = p1.x, ay = p1.y, bx = p2.x, by = p2.y, cx = p3.x, cy = p3.y;
        const double d = 2 * (ax * (by - cy) + bx * (cy - ay) + cx * (ay - by));
        if (!(std::abs(d) > 0) || !std::isfinite(d)) {
            path({map(p1), map(p3)}, false, false);
            return;
        }
        const double a2 = ax * ax + ay * ay, b2 = bx * bx + by * by, c2 = cx * cx + cy * cy;
        const Vec3 centre{(a2 * (by - cy) + b2 * (cy - ay) + c2 * (ay - by)) / d,
                          (a2 * (cx - bx) + b2 * (ax - cx) + c2 * (bx - ax)) / d, p1.z};
        const double r = std::hypot(ax - centre.x, ay - centre.y);
        const double t1 = std::atan2(ay - centre.y, ax - centre.x);
        auto ccw = [&](double t) {
            const double s = std::fmod(t - t1, 2 * kPi);
            return s < 0 ? s + 2 * kPi : s;
        };
        const double s2 = ccw(std::atan2(by - centre.y, bx - centre.x));
        const double s3 = ccw(std::atan2(cy - centre.y, cx - centre.x));
        // Counter-clockwise when the middle point comes first that way round.
        const double sweep = full ? 2 * kPi : s2 <= s3 ? s3 : s3 - 2 * kPi;
        arc(centre, r, {0, 0, 1}, {ax - centre.x, ay - centre.y, 0}, sweep, kind);
    }

    void mesh(Bytes& b) {
        const int32_t rows = b.int32(), columns = b.int32();
        if (!b.ok() || rows < 1 || columns < 1 || size_t(rows) > b.left() / 24 / size_t(columns))
            return;
        std::vector<Vec2> grid;
        for (int32_t i = 0; i < rows * columns; ++i)
            grid.push_back(map(b.vertex()));
        if (!b.ok())
            return;
        for (int32_t r = 0; r < rows; ++r)
            path({grid.begin() + r * columns, grid.begin() + (r + 1) * columns}, false, false);
        for (int32_t c = 0; c < columns; ++c) {
            std::vector<Vec2> line;
            for (int32_t r = 0; r < rows; ++r)
                line.push_back(grid[size_t(r * columns + c)]);
            path(std::move(line), false, false);
        }
    }

    // Faces as their outlines: a list of vertex counts, each followed by
    // the vertices' indexes (a negative count marks a hole).
    void shell(Bytes& b) {
        const size_t n = b.count(24);
        std::vector<Vec2> vertices;
        for (size_t i = 0; i < n; ++i)
            vertices.push_back(map(b.vertex()));
        const size_t entries = b.count(4);
        if (!b.ok())
            return;
        std::vector<int32_t> list(entries);
        for (int32_t& v : list)
            v = b.int32();
        for (size_t i = 0; i < list.size();) {
            const int64_t count = std::abs(int64_t(list[i]));
            if (count == 0 || count > int64_t(list.size() - i - 1))
                break;
            std::vector<Vec2> face;
            for (int64_t k = 1; k <= count; ++k) {
                const int32_t index = list[i + size_t(k)];
                if (index >= 0 && size_t(index) < vertices.size())
                    face.push_back(vertices[size_t(index)]);
            }
            path(std::move(face), true, false);
            i += size_t(count) + 1;
        }
    }

    void text(int32_t type, Bytes& b) {
        const Vec3 start = b.vertex();
        b.vertex(); // the normal: text is drawn in the plane view
        const Vec3 direction = b.vertex();
        ProxyShape s;
        s.kind = ProxyShape::Kind::Text;
        double height = 0, width = 1, oblique = 0;
        switch (type) {
        case TextCmd:
        case UnicodeText:
            height = b.real();
            width = b.real();
            oblique = b.real();
            if (type == UnicodeText) {
                s.text.text = b.paddedUnicode();
                s.unicode = true;
            } else {
                s.raw = b.paddedString();
            }
            break;
        default: // the second forms: the string first, then its sizes
            if (type == UnicodeText2) {
                s.text.text = b.paddedUnicode();
                s.unicode = true;
            } else {
                s.raw = b.paddedString();
            }
            b.int32(); // its length
            b.int32(); // whether it is raw, control codes unexpanded
            height = b.real();
            width = b.real();
            oblique = b.real();
            break;
        }
        if (!b.ok() || !(height > 0))
            return;
        const Vec2 at = map(start);
        const Vec3 tip =
            apply({start.x + direction.x, start.y + direction.y, start.z + direction.z});
        const Vec2 dir{tip.x - at.x, tip.y - at.y};
        // Heights shrink or grow with the map along with everything else.
        const double scale = std::hypot(m_current[0], m_current[4]);
        s.text.position = at;
        s.text.height = height * (scale > 0 ? scale : 1);
        s.text.rotation = dir.x == 0 && dir.y == 0 ? 0 : std::atan2(dir.y, dir.x);
        s.text.widthFactor = width > 0 ? width : 1;
        s.text.oblique = std::clamp(oblique, -1.5, 1.5);
        s.color = m_color;
        s.layer = m_layer;
        m_out.shapes.push_back(std::move(s));
    }

    void path(std::vector<Vec2> pts, bool closed, bool filled) {
        if (pts.size() < 2 || (filled && pts.size() < 3))
            return;
        ProxyShape s;
        s.kind = filled ? ProxyShape::Kind::Area : ProxyShape::Kind::Path;
        s.points = std::move(pts);
        s.closed = closed;
        s.color = m_color;
        s.layer = m_layer;
        m_out.shapes.push_back(std::move(s));
    }

    ProxyGraphics& m_out;
    Matrix m_current = kIdentity;
    std::vector<Matrix> m_stack;
    std::optional<Color> m_color;
    int m_layer = -1;
    bool m_fill = false;
};

} // namespace

bool appendHex(std::string_view hex, std::vector<uint8_t>& out) {
    while (!hex.empty() && (hex.back() == ' ' || hex.back() == '\r' || hex.back() == '\t'))
        hex.remove_suffix(1);
    if (hex.size() % 2)
        return false;
    for (size_t i = 0; i < hex.size(); i += 2) {
        const int hi = hexDigit(char32_t(uint8_t(hex[i]))),
                  lo = hexDigit(char32_t(uint8_t(hex[i + 1])));
        if (hi < 0 || lo < 0)
            return false;
        out.push_back(uint8_t(hi << 4 | lo));
    }
    return true;
}

ProxyGraphics decodeProxyGraphics(const std::vector<uint8_t>& data) {
    ProxyGraphics out;
    Bytes head(data.data(), data.size());
    head.int32(); // the stream's size, which the data itself bounds
    const int32_t commands = head.int32();
    if (!head.ok() || commands < 0)
        return out;
    Decoder decoder(out);
    size_t at = 8;
    for (int32_t i = 0; i < commands && at + 8 <= data.size(); ++i) {
        int32_t size = 0, type = 0;
        std::memcpy(&size, data.data() + at, 4);
        std::memcpy(&type, data.data() + at + 4, 4);
        if (size < 8 || size_t(size) > data.size() - at)
            break; // damaged from here on
        Bytes body(data.data() + at + 8, size_t(size) - 8);
        decoder.command(type, body);
        at += size_t(size);
    }
    return out;
}

} // namespace dv::dxf
