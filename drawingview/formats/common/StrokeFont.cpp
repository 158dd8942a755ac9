#include "StrokeFont.h"

#include <QChar>
#include <QString>

namespace dv::strokefont {

namespace {

// Each glyph is a list of strokes separated by spaces; a stroke is a run of
// points, each two characters: x (0..4) and y + 2 (so '2' is the baseline,
// '8' the cap height, ':' two units above it).
constexpr const char* kGlyphs[95] = {
    "",                                 // space
    "2824 2223",                        // !
    "1817 3837",                        // "
    "1713 3733 0646 0444",              // #
    "473818070615354443321203 2921",    // $
    "0248 0818170708 3343423233",       // %
    "420607182837360403122244",         // &
    "2826",                             // '
    "38272332",                         // (
    "18272312",                         // )
    "2327 0644 0446",                   // *
    "2327 0545",                        // +
    "2311",                             // ,
    "0545",                             // -
    "2223",                             // .
    "0248",                             // /
    "120307183847433212 1337",          // 0
    "172822 1232",                      // 1
    "07183847460242",                   // 2
    "07183847463525 354443321203",      // 3
    "32380444",                         // 4
    "480805354443321203",               // 5
    "473818070312324344351504",         // 6
    "084812",                           // 7
    "15060718384746351504031232434435", // 8
    "031232434738180706153546",         // 9
    "2526 2223",                        // :
    "2526 2311",                        // ;
    "470543",                           // <
    "0646 0444",                        // =
    "074503",                           // >
    "0718384746352524 2223",            // ?
    "4332120307183847453525141324",     // @
    "022842 1434",                      // A
    "02083847463505 3544433202",        // B
    "4738180703123243",                 // C
    "02082846442202",                   // D
    "48080242 0535",                    // E
    "480802 0535",                      // F
    "47381807031232434525",             // G
    "0208 4248 0545",                   // H
    "1838 2822 1232",                   // I
    "4843321203",                       // J
    "0208 4805 1642",                   // K
    "080242",                           // L
    "0208254842",                       // M
    "02084248",                         // N
    "120307183847433212",               // O
    "02083847463505",                   // P
    "120307183847433212 2442",          // Q
    "02083847463505 3542",              // R
    "473818070615354443321203",         // S
    "0848 2822",                        // T
    "080312324348",                     // U
    "082248",                           // V
    "0812253248",                       // W
    "0248 0842",                        // X
    "082548 2522",                      // Y
    "08480242",                         // Z
    "38181232",                         // [
    "0842",                             // backslash
    "18383212",                         // ]
    "162836",                           // ^
    "0141",                             // _
    "1827",                             // `
    "06364542 4414031242",              // a
    "0802 0516364543321203",            // b
    "4536160503123243",                 // c
    "4842 4536160503123243",            // d
    "04444536160503123243",             // e
    "22273848 1636",                    // f
    "4641301001 4536160504133344",      // g
    "0802 0516364542",                  // h
    "2622 2827",                        // i
    "3631201001 3837",                  // j
    "0802 4604 2542",                   // k
    "18282332",                         // l
    "0602 05162522 25364542",           // m
    "0602 0516364542",                  // n
    "160503123243453616",               // o
    "0600 0516364543321203",            // p
    "4640 4536160503123243",            // q
    "0602 04263645",                    // r
    "45361605143443321203",             // s
    "28233242 1636",                    // t
    "0603123243 4642",                  // u
    "062246",                           // v
    "0612243246",                       // w
    "0642 0246",                        // x
    "0603123243 4641301001",            // y
    "06460242",                         // z
    "38272615242332",                   // {
    "2921",                             // |
    "18272635242312",                   // }
    "05163445",                         // ~
};

constexpr const char* kBox = "0208484202";

// Accents over a lower-case letter; capitals get them two units higher.
const char* accentStrokes(char16_t mark) {
    switch (mark) {
    case 0x300:
        return "1827";
    case 0x301:
        return "2738";
    case 0x302:
        return "172837";
    case 0x303:
        return "07182738";
    case 0x308:
        return "1718 3738";
    case 0x30A:
        return "2728383727";
    case 0x327:
        return "222110";
    default:
        return nullptr;
    }
}

void appendEncoded(const char* code, double dy, Strokes& out) {
    std::vector<Vec2> stroke;
    for (const char* p = code;; p += 2) {
        if (*p == ' ' || *p == '\0') {
            if (stroke.size() > 1)
                out.push_back(std::move(stroke));
            stroke.clear();
            if (*p == '\0')
                return;
            --p; // a space is one character, not a point
            continue;
        }
        stroke.push_back({double(p[0] - '0'), double(p[1] - '0') - 2 + dy});
    }
}

} // namespace

bool hasGlyph(char32_t ch) {
    if (ch >= 32 && ch < 127)
        return true;
    if (ch < 0x80 || ch > 0xFFFF)
        return false;
    const QString d = QChar(char16_t(ch)).decomposition();
    return d.size() == 2 && d[0].unicode() >= 32 && d[0].unicode() < 127 &&
           accentStrokes(d[1].unicode()) != nullptr;
}

void appendGlyph(char32_t ch, Strokes& out) {
    if (ch < 32 || ch == 127)
        return;
    if (ch < 127) {
        appendEncoded(kGlyphs[ch - 32], 0, out);
        return;
    }
    if (hasGlyph(ch)) {
        const QString d = QChar(char16_t(ch)).decomposition();
        const char16_t base = d[0].unicode();
        const char16_t mark = d[1].unicode();
        appendEncoded(kGlyphs[base - 32], 0, out);
        const bool tall = (base >= 'A' && base <= 'Z') && mark != 0x327;
        appendEncoded(accentStrokes(mark), tall ? 2 : 0, out);
        return;
    }
    if (ch == 0xA0)
        return; // no-break space
    appendEncoded(kBox, 0, out);
}

} // namespace dv::strokefont
