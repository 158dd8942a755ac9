#include "SvgSource.h"

#include "formats/Reader.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

namespace dv::svg {

namespace {

bool startsAt(const QByteArray& b, qsizetype i, const char* s) {
    const qsizetype n = qsizetype(std::strlen(s));
    return i + n <= b.size() && std::memcmp(b.constData() + i, s, size_t(n)) == 0;
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Skips past `end`, or returns -1 when it does not occur within the head.
qsizetype skipPast(const QByteArray& b, qsizetype from, const char* end) {
    const qsizetype at = b.indexOf(end, from);
    return at < 0 ? -1 : at + qsizetype(std::strlen(end));
}

// A doctype may hold an internal subset in brackets, itself holding '>'.
qsizetype skipDoctype(const QByteArray& b, qsizetype i) {
    int bracket = 0;
    for (; i < b.size(); ++i) {
        const char c = b[i];
        if (c == '[')
            ++bracket;
        else if (c == ']')
            bracket = std::max(0, bracket - 1);
        else if (c == '>' && bracket == 0)
            return i + 1;
    }
    return -1;
}

} // namespace

bool isGzip(const QByteArray& head) {
    return head.size() >= 2 && uint8_t(head[0]) == 0x1f && uint8_t(head[1]) == 0x8b;
}

bool looksLikeSvg(const QByteArray& head) {
    const QByteArray b = head.left(1024);
    qsizetype i = startsAt(b, 0, "\xef\xbb\xbf") ? 3 : 0;
    while (i >= 0 && i < b.size()) {
        if (isSpace(b[i])) {
            ++i;
        } else if (startsAt(b, i, "<!--")) {
            i = skipPast(b, i + 4, "-->");
        } else if (startsAt(b, i, "<?")) {
            i = skipPast(b, i + 2, "?>");
        } else if (startsAt(b, i, "<!DOCTYPE")) {
            i = skipDoctype(b, i + 9);
        } else if (startsAt(b, i, "<svg")) {
            const qsizetype after = startsAt(b, i, "<svg:svg") ? i + 8 : i + 4;
            return after >= b.size() || isSpace(b[after]) || b[after] == '>' || b[after] == '/';
        } else {
            return false;
        }
    }
    return false;
}

QByteArray inflateGzip(const QByteArray& bytes, const QString& fileName, int64_t limit) {
    z_stream zs{};
    // 16 + MAX_WBITS: gzip wrapper only.
    if (inflateInit2(&zs, 16 + MAX_WBITS) != Z_OK)
        throw ReadError(fileName, QStringLiteral("cannot start unpacking the compressed data"));
    QByteArray out;
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.constData()));
    zs.avail_in = uInt(bytes.size());
    constexpr int64_t chunk = 1 << 16;
    int rc = Z_OK;
    for (;;) {
        if (int64_t(out.size()) >= limit) {
            inflateEnd(&zs);
            throw ReadError(fileName, QStringLiteral("the compressed SVG unpacks to more than "
                                                     "%1 MB; it is refused")
                                          .arg(limit >> 20));
        }
        const qsizetype before = out.size();
        out.resize(before + qsizetype(std::min<int64_t>(chunk, limit - before)));
        zs.next_out = reinterpret_cast<Bytef*>(out.data() + before);
        zs.avail_out = uInt(out.size() - before);
        rc = inflate(&zs, Z_NO_FLUSH);
        out.resize(out.size() - qsizetype(zs.avail_out));
        if (rc == Z_STREAM_END) {
            // Concatenated members are one stream; anything else after the
            // end (padding) is ignored.
            if (zs.avail_in >= 2 && zs.next_in[0] == 0x1f && zs.next_in[1] == 0x8b) {
                inflateReset(&zs);
                continue;
            }
            break;
        }
        if (rc == Z_BUF_ERROR && zs.avail_in == 0) {
            inflateEnd(&zs);
            throw ReadError(
                fileName,
                QStringLiteral("the compressed data is cut off after %1 bytes").arg(bytes.size()));
        }
        if (rc != Z_OK && rc != Z_BUF_ERROR) {
            const qint64 at = qint64(bytes.size()) - qint64(zs.avail_in);
            const QString why = zs.msg ? QString::fromLatin1(zs.msg) : QStringLiteral("bad data");
            inflateEnd(&zs);
            throw ReadError(fileName,
                            QStringLiteral("the compressed data is damaged at byte offset %1 (%2)")
                                .arg(at)
                                .arg(why));
        }
    }
    inflateEnd(&zs);
    return out;
}

QByteArray sniffHead(const QByteArray& head) {
    if (!isGzip(head))
        return head;
    // Only the start is wanted; a cut-off stream is expected here.
    z_stream zs{};
    if (inflateInit2(&zs, 16 + MAX_WBITS) != Z_OK)
        return {};
    QByteArray out(1024, '\0');
    zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(head.constData()));
    zs.avail_in = uInt(head.size());
    zs.next_out = reinterpret_cast<Bytef*>(out.data());
    zs.avail_out = uInt(out.size());
    inflate(&zs, Z_SYNC_FLUSH);
    out.resize(out.size() - qsizetype(zs.avail_out));
    inflateEnd(&zs);
    return out;
}

} // namespace dv::svg
