#include "DwgXData.h"

#include <QString>

namespace dv::dwg {

namespace {

// Layer and entity references are eight bytes, most significant first.
uint64_t referenced(BitReader& r) {
    uint64_t h = 0;
    for (int i = 0; i < 8; ++i)
        h = h << 8 | r.RC();
    return h;
}

std::string itemText(BitReader& r, const TextConverter& text) {
    std::string s;
    if (r.atLeast(Release::R2007)) {
        const int n = uint16_t(r.RS());
        if (size_t(n) * 16 > r.bitsLeft())
            r.pastEnd(size_t(n) * 16);
        std::u16string u;
        u.reserve(size_t(n));
        for (int i = 0; i < n; ++i)
            u.push_back(char16_t(uint16_t(r.RS())));
        return QString::fromUtf16(u.data(), qsizetype(u.size())).toStdString();
    }
    const int n = r.RC();
    r.RS(); // code page: the drawing's own
    if (size_t(n) * 8 > r.bitsLeft())
        r.pastEnd(size_t(n) * 8);
    s.reserve(size_t(n));
    for (int i = 0; i < n; ++i)
        s.push_back(char(r.RC()));
    return text(std::move(s));
}

} // namespace

void appendExtendedData(BitReader r, std::string_view app, const TableNames& names,
                        const TextConverter& text, GroupList& out) {
    out.text(1001, app);
    try {
        while (r.bitsLeft() >= 8) {
            const int code = r.RC();
            switch (code) {
            case 0:
                out.text(1000, itemText(r, text));
                break;
            case 2:
                out.literal(1002, r.RC() ? "}" : "{");
                break;
            case 3: {
                // A layer not in the drawing names none.
                static const std::string none;
                if (const std::string& layer = TableNames::find(names.layers, referenced(r), none);
                    !layer.empty())
                    out.text(1003, layer);
                break;
            }
            case 4: {
                static const char digits[] = "0123456789ABCDEF";
                const int n = r.RC();
                if (size_t(n) * 8 > r.bitsLeft())
                    r.pastEnd(size_t(n) * 8);
                std::string hex;
                hex.reserve(size_t(n) * 2);
                for (int i = 0; i < n; ++i) {
                    const uint8_t b = r.RC();
                    hex.push_back(digits[b >> 4]);
                    hex.push_back(digits[b & 15]);
                }
                out.text(1004, hex);
                break;
            }
            case 5:
                out.handle(1005, referenced(r));
                break;
            default:
                // Not a kind of item known: the rest cannot be placed.
                if (!appendNumberItem(
                        code, [&] { return r.RD(); }, [&] { return r.RS(); },
                        [&] { return r.RL(); }, out))
                    return;
            }
        }
    } catch (const FormatError&) {
        // Cut short: the items read so far stand.
    }
}

} // namespace dv::dwg
