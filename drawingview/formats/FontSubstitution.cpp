#include "FontSubstitution.h"

#include <QFileInfo>
#include <QFontDatabase>
#include <QGuiApplication>

#include <algorithm>
#include <iterator>
#include <mutex>
#include <numbers>
#include <set>
#include <string_view>
#include <unordered_map>

namespace dv {

namespace {

// Families in order of preference; the first one installed wins. Metric
// clones come first so that text keeps the width the drawing was made with.
constexpr std::string_view kSans[] = {"Liberation Sans", "Arimo", "Nimbus Sans", "DejaVu Sans"};
constexpr std::string_view kNarrow[] = {"Liberation Sans Narrow", "Nimbus Sans Narrow",
                                        "DejaVu Sans"};
constexpr std::string_view kSerif[] = {"Liberation Serif", "Tinos", "Nimbus Roman", "DejaVu Serif"};
constexpr std::string_view kMono[] = {"Liberation Mono", "Cousine", "Nimbus Mono PS",
                                      "DejaVu Sans Mono"};
constexpr std::string_view kGothic[] = {"URW Gothic", "DejaVu Sans"};
constexpr std::string_view kBookman[] = {"URW Bookman", "DejaVu Serif"};
constexpr std::string_view kScript[] = {"Z003", "DejaVu Serif"};
constexpr std::string_view kCjk[] = {"WenQuanYi Micro Hei", "Noto Sans CJK SC",
                                     "Droid Sans Fallback"};
constexpr std::string_view kCjkMono[] = {"WenQuanYi Micro Hei Mono", "WenQuanYi Micro Hei",
                                         "Droid Sans Fallback"};
constexpr std::string_view kSymbol[] = {"DejaVu Sans"};

struct Kind {
    const std::string_view* families;
    size_t count;
    double slantDegrees = 0;
};

template <size_t N> constexpr Kind kind(const std::string_view (&f)[N], double slant = 0) {
    return {f, N, slant};
}

struct Entry {
    std::string_view name; // lower case, no extension
    Kind kind;
};

// Families and font files as drawings commonly name them. SHX stroke fonts
// are thin and monoline: the simple ones read best as a narrow sans, the
// multi-stroke "complex" and "roman duplex/triplex" ones as a serif.
const Entry kTable[] = {
    // TrueType families and their files
    {"arial", kind(kSans)},
    {"arialbd", kind(kSans)},
    {"ariali", kind(kSans)},
    {"arialn", kind(kNarrow)},
    {"arial narrow", kind(kNarrow)},
    {"helvetica", kind(kSans)},
    {"calibri", kind(kSans)},
    {"calibril", kind(kSans)},
    {"verdana", kind(kSans)},
    {"tahoma", kind(kSans)},
    {"segoeui", kind(kSans)},
    {"segoe ui", kind(kSans)},
    {"microsoft sans serif", kind(kSans)},
    {"micross", kind(kSans)},
    {"isocpeur", kind(kNarrow)},
    {"isocteur", kind(kNarrow)},
    {"swiss", kind(kSans)},
    {"times", kind(kSerif)},
    {"timesbd", kind(kSerif)},
    {"times new roman", kind(kSerif)},
    {"georgia", kind(kSerif)},
    {"cambria", kind(kSerif)},
    {"garamond", kind(kSerif)},
    {"bookman old style", kind(kBookman)},
    {"bookos", kind(kBookman)},
    {"century gothic", kind(kGothic)},
    {"gothic", kind(kGothic)},
    {"cour", kind(kMono)},
    {"courbd", kind(kMono)},
    {"courier", kind(kMono)},
    {"courier new", kind(kMono)},
    {"consola", kind(kMono)},
    {"consolas", kind(kMono)},
    {"lucida console", kind(kMono)},
    {"lucon", kind(kMono)},
    {"simsun", kind(kCjk)},
    {"nsimsun", kind(kCjk)},
    {"simhei", kind(kCjk)},
    {"simkai", kind(kCjk)},
    {"simfang", kind(kCjk)},
    {"msyh", kind(kCjk)},
    {"microsoft yahei", kind(kCjk)},
    {"mingliu", kind(kCjk)},
    {"pmingliu", kind(kCjk)},
    {"msjh", kind(kCjk)},
    {"microsoft jhenghei", kind(kCjk)},
    {"msgothic", kind(kCjkMono)},
    {"ms gothic", kind(kCjkMono)},
    {"msmincho", kind(kCjkMono)},
    {"ms mincho", kind(kCjkMono)},
    {"meiryo", kind(kCjk)},
    {"gulim", kind(kCjk)},
    {"batang", kind(kCjk)},
    {"malgun", kind(kCjk)},
    {"malgun gothic", kind(kCjk)},
    {"symbol", kind(kSymbol)},
    // SHX stroke fonts
    {"txt", kind(kNarrow)},
    {"simplex", kind(kNarrow)},
    {"romans", kind(kNarrow)},
    {"isocp", kind(kNarrow)},
    {"isocp2", kind(kNarrow)},
    {"isocp3", kind(kNarrow)},
    {"isoct", kind(kNarrow)},
    {"isoct2", kind(kNarrow)},
    {"isoct3", kind(kNarrow)},
    {"iso", kind(kNarrow)},
    {"isocpeur", kind(kNarrow)},
    {"monotxt", kind(kMono)},
    {"romanc", kind(kSerif)},
    {"romand", kind(kSans)},
    {"romant", kind(kSerif)},
    {"complex", kind(kSerif)},
    {"italic", kind(kSerif, 15)},
    {"italicc", kind(kSerif, 15)},
    {"italict", kind(kSerif, 15)},
    {"scriptc", kind(kScript)},
    {"scripts", kind(kScript)},
    {"gothice", kind(kGothic)},
    {"gothicg", kind(kGothic)},
    {"gothici", kind(kGothic)},
    {"greekc", kind(kSerif)},
    {"greeks", kind(kNarrow)},
    {"gdt", kind(kSymbol)},
    {"amgdt", kind(kSymbol)},
    {"syastro", kind(kSymbol)},
    {"symap", kind(kSymbol)},
    {"symath", kind(kSymbol)},
    {"symeteo", kind(kSymbol)},
    {"symusic", kind(kSymbol)},
    // SHX big fonts (East Asian ideographs)
    {"bigfont", kind(kCjk)},
    {"chineset", kind(kCjk)},
    {"gbcbig", kind(kCjk)},
    {"gbenor", kind(kNarrow)},
    {"gbeitc", kind(kNarrow, 15)},
    {"extfont", kind(kCjk)},
    {"extfont2", kind(kCjk)},
    {"whgtxt", kind(kCjk)},
    {"whgdtxt", kind(kCjk)},
    {"whtgtxt", kind(kCjk)},
    {"whtmtxt", kind(kCjk)},
    {"hztxt", kind(kCjk)},
    {"hzfs", kind(kCjk)},
    {"hztxto", kind(kCjk)},
};

bool canQueryFonts() {
    // The font database needs the GUI application (absent in some tools).
    return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr;
}

// Installed families, lower-cased -> as Qt spells them.
const std::unordered_map<QString, QString>& installed() {
    static const std::unordered_map<QString, QString> families = [] {
        std::unordered_map<QString, QString> m;
        if (canQueryFonts())
            for (QString f : QFontDatabase::families()) {
                // "Nimbus Sans [urw]": the foundry is no part of the family.
                if (const qsizetype b = f.indexOf(QLatin1String(" [")); b > 0)
                    f.truncate(b);
                m.emplace(f.toLower(), f);
            }
        return m;
    }();
    return families;
}

QString pick(const Kind& k) {
    const auto& have = installed();
    for (size_t i = 0; i < k.count; ++i) {
        const QString f =
            QString::fromLatin1(k.families[i].data(), qsizetype(k.families[i].size()));
        if (have.count(f.toLower()))
            return f;
    }
    // Nothing to check against: the first choice, which Qt's own matching
    // turns into something close when it is missing.
    return have.empty() ? QString::fromLatin1(k.families[0].data(), qsizetype(k.families[0].size()))
                        : QString();
}

const Kind* lookup(const QString& key) {
    const QByteArray k = key.toLatin1();
    const std::string_view v(k.constData(), size_t(k.size()));
    for (const Entry& e : kTable)
        if (e.name == v)
            return &e.kind;
    return nullptr;
}

// Families by the start of their name, for the many weight and style
// variants ("arialbi", "timesi", "Arial Black").
const Kind* lookupPrefix(const QString& key) {
    static const Entry prefixes[] = {
        {"arial", kind(kSans)},   {"helvetica", kind(kSans)}, {"calibri", kind(kSans)},
        {"verdana", kind(kSans)}, {"tahoma", kind(kSans)},    {"segoe", kind(kSans)},
        {"times", kind(kSerif)},  {"cour", kind(kMono)},      {"sim", kind(kCjk)},
        {"ming", kind(kCjk)},     {"gothic", kind(kGothic)},  {"roman", kind(kSerif)},
        {"iso", kind(kNarrow)},
    };
    const QByteArray k = key.toLatin1();
    const std::string_view v(k.constData(), size_t(k.size()));
    for (const Entry& e : prefixes)
        if (v.substr(0, e.name.size()) == e.name)
            return &e.kind;
    return nullptr;
}

FontSubstitute resolve(const QString& name) {
    QString key = name.trimmed();
    // Paths come with either separator whatever system wrote them.
    key = key.mid(std::max(key.lastIndexOf(u'/'), key.lastIndexOf(u'\\')) + 1);
    const QString suffix = QFileInfo(key).suffix().toLower();
    static const QString fontFiles[] = {"ttf", "ttc", "otf", "shx", "pfb", "fon"};
    if (std::find(std::begin(fontFiles), std::end(fontFiles), suffix) != std::end(fontFiles))
        key.chop(suffix.size() + 1);
    const QString lower = key.trimmed().toLower();
    if (lower.isEmpty())
        return {};
    if (const Kind* k = lookup(lower))
        return {pick(*k), k->slantDegrees * std::numbers::pi / 180};
    const auto& have = installed();
    if (auto it = have.find(lower); it != have.end())
        return {it->second, 0};
    if (const Kind* k = lookupPrefix(lower))
        return {pick(*k), k->slantDegrees * std::numbers::pi / 180};
    return {};
}

} // namespace

FontSubstitute substituteFont(const QString& name) {
    // Few distinct names per drawing, but MTEXT may switch fonts often.
    static std::mutex mutex;
    static std::unordered_map<QString, FontSubstitute> cache;
    std::lock_guard lock(mutex);
    auto it = cache.find(name);
    if (it != cache.end())
        return it->second;
    if (cache.size() > 4096)
        cache.clear();
    return cache.emplace(name, resolve(name)).first->second;
}

QString cjkFontFamily() {
    return substituteFont(QStringLiteral("bigfont.shx")).family;
}

} // namespace dv
