#include "HpglReader.h"

#include "HpglInterpreter.h"
#include "HpglLexer.h"

#include <QFile>
#include <QSet>

#include <cctype>
#include <cstring>

namespace dv {

namespace hpgl {

namespace {

// Mnemonics a plot file begins with.
bool isOpening(const char* m) {
    static const char* const names[] = {"IN", "DF", "SP", "PU", "PD", "PA", "PR", "BP", "PS",
                                        "CO", "LT", "PW", "NP", "PC", "SC", "IP", "IR", "RO",
                                        "CI", "LB", "DT", "SI", "VS", "PG", "WU", "TR", "MC",
                                        "QL", "EC", "FS", "DI", "SR", "CS", "CA", "SD", "AD"};
    for (const char* n : names)
        if ((m[0] & ~0x20) == n[0] && (m[1] & ~0x20) == n[1])
            return true;
    return false;
}

size_t skipBlanks(const QByteArray& b, size_t i) {
    while (i < size_t(b.size()) &&
           (b[qsizetype(i)] == ' ' || b[qsizetype(i)] == '\t' || b[qsizetype(i)] == '\r' ||
            b[qsizetype(i)] == '\n' || b[qsizetype(i)] == ';'))
        ++i;
    return i;
}

// Any HP-GL or HP-GL/2 mnemonic: the commands that follow the first one.
bool isMnemonic(const char* m) {
    static const char* const names =
        "AAACADARASATBLBPBRBZCACICOCPCRCSCTCVDCDFDIDLDPDRDTDVEAECEPERESEWFIFNFPFRFSFT"
        "GMIMINIPIRIVIWKYLALBLMLOLTMCMGMTNPNROAOCODOEOFOGOHOIOLOOOPOSOTOWPAPBPCPDPEPG"
        "PMPPPRPSPTPUPWQLRARFRORRRSRTSASBSCSDSGSISLSMSPSRSSSTSVTDTLTRULVAVNVSWDWGWU"
        "XTYT";
    for (const char* n = names; n[0] && n[1]; n += 2)
        if (m[0] == n[0] && m[1] == n[1])
            return true;
    return false;
}

} // namespace

int sniff(const QByteArray& head) {
    const size_t n = size_t(head.size());
    size_t i = skipBlanks(head, 0);
    bool pcl = false;
    // Prefixes: UEL, PJL lines, printer reset, HP-GL/1 device control.
    for (int guard = 0; guard < 256 && i < n; ++guard) {
        if (head[qsizetype(i)] == '\x1b') {
            if (head.mid(qsizetype(i), 9) == "\x1b%-12345X") {
                pcl = true;
                i += 9;
            } else if (i + 1 < n && head[qsizetype(i + 1)] == 'E') {
                pcl = true;
                i += 2;
            } else if (i + 2 < n && head[qsizetype(i + 1)] == '.') {
                i += 3;
                while (i < n && (std::isdigit(static_cast<unsigned char>(head[qsizetype(i)])) ||
                                 head[qsizetype(i)] == ';'))
                    ++i;
                if (i < n && head[qsizetype(i)] == ':')
                    ++i;
            } else {
                break;
            }
        } else if (head.mid(qsizetype(i), 4) == "@PJL") {
            pcl = true;
            const qsizetype nl = head.indexOf('\n', qsizetype(i));
            i = nl < 0 ? n : size_t(nl) + 1;
        } else {
            break;
        }
        i = skipBlanks(head, i);
    }
    // Up to three commands, each a known opening mnemonic or at least a
    // well-formed one; text that only starts with two letters fails here.
    if (i < n && Lexer::looksLikeCommand(head.constData(), n, i) &&
        isOpening(head.constData() + i)) {
        Lexer lex(head.constData() + i, n - i);
        Command cmd;
        int commands = 0;
        bool sound = true;
        while (commands < 3 && lex.next(cmd)) {
            if (cmd.kind == Command::Kind::Mnemonic && cmd.name[0] == 'L' && cmd.name[1] == 'B')
                break; // label text follows
            if (cmd.kind == Command::Kind::Mnemonic && !isMnemonic(cmd.name))
                sound = false;
            ++commands;
            lex.endCommand();
            if (lex.damagedBytes() > 0)
                sound = false;
        }
        if (sound)
            return 2;
    }
    // HP-GL/2 entered from PCL anywhere in the head.
    for (qsizetype at = head.indexOf("\x1b%"); at >= 0; at = head.indexOf("\x1b%", at + 2)) {
        qsizetype k = at + 2;
        if (k < head.size() && (head[k] == '-' || head[k] == '+'))
            ++k;
        const qsizetype digits = k;
        while (k < head.size() && std::isdigit(static_cast<unsigned char>(head[k])))
            ++k;
        if (k > digits && k < head.size() && head[k] == 'B')
            return 2;
    }
    return pcl ? 1 : 0;
}

} // namespace hpgl

namespace {

class HpglReader : public Reader {
public:
    QString name() const override { return QStringLiteral("HP-GL"); }

    int score(const QByteArray& head, const QString& suffix) const override {
        static const QSet<QString> own{"plt", "hgl", "hg",   "hpg",   "plo", "hp",
                                       "hp1", "hp2", "hpgl", "hpgl2", "gl2", "rtl"};
        const QString s = suffix.toLower();
        switch (hpgl::sniff(head)) {
        case 2:
            return 100;
        case 1:
            // A PCL job whose HP-GL/2 may begin beyond the first bytes; a
            // generic printer file needs HP-GL/2 in its first bytes.
            return own.contains(s) ? 40 : 0;
        default:
            // Printer files of any other kind are not ours.
            return own.contains(s) ? 30 : 0;
        }
    }

    std::unique_ptr<Document> read(const QString& path, const ProgressFn& progress) const override {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            throw ReadError(path, file.errorString());
        const QByteArray bytes = file.readAll();
        return readHpglBytes(bytes, path, progress);
    }
};

} // namespace

std::unique_ptr<Document> readHpglBytes(const QByteArray& bytes, const QString& fileName,
                                        const ProgressFn& progress) {
    auto doc = std::make_unique<Document>();
    doc->kind = Document::Kind::Drawing;
    doc->fileName = fileName;
    doc->format = QStringLiteral("HPGL");
    doc->exactColors = true;
    doc->header[QStringLiteral("$INSUNITS")] = QStringLiteral("4"); // millimetres
    doc->blocks.emplace_back();
    doc->blocks[0].name = QStringLiteral("*Model_Space");
    Layout layout;
    layout.name = QStringLiteral("Model");
    layout.block = 0;
    layout.paperSpace = true;
    doc->layouts.push_back(layout);
    doc->activeLayout = 0;

    hpgl::Interpreter interpreter(*doc, bytes.constData(), size_t(bytes.size()));
    interpreter.run(fileName, progress);
    doc->finish();
    return doc;
}

std::unique_ptr<Reader> makeHpglReader() {
    return std::make_unique<HpglReader>();
}

} // namespace dv
