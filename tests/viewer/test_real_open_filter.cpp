// Every file type the open dialog offers is backed by the engine: a fixture
// of each suffix opens, or the engine says plainly that it is not supported.

#include "file_filter.h"
#include "main_window.h"

#include "formats/Reader.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <map>
#include <set>

namespace {

std::set<QString> offeredSuffixes() {
    std::set<QString> out;
    for (const QString& nameFilter : toQtNameFilters(TfmMain::openDialogFilter()))
        for (QString pattern : patternsOf(nameFilter)) {
            pattern.remove(u'*');
            if (pattern.startsWith(u'.'))
                pattern.remove(0, 1);
            if (!pattern.isEmpty())
                out.insert(pattern.toLower());
        }
    return out;
}

std::map<QString, QStringList> fixturesBySuffix() {
    std::map<QString, QStringList> out;
    for (const char* root : {TEST_DATA_DIR, SAMPLES_DIR}) {
        QDirIterator it(QString::fromUtf8(root), QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QFileInfo info(it.next());
            out[info.suffix().toLower()] << info.filePath();
        }
    }
    return out;
}

// For suffixes no fixture file has: made here (images Qt can write, Photo
// CD through ImageMagick), a plot fixture under another plot suffix (the
// content decides), or a few stray bytes where only a message is expected.
QString makeFixture(const QString& suffix, const QTemporaryDir& dir) {
    const QString path = dir.filePath(QStringLiteral("made.") + suffix);
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(Qt::red);
    if (QImageWriter::supportedImageFormats().contains(suffix.toLatin1()))
        return image.save(path, suffix.toLatin1().constData()) ? path : QString();
    if (suffix == QLatin1String("pcd")) {
        const QString convert = QStandardPaths::findExecutable(QStringLiteral("convert"));
        const QString source = dir.filePath(QStringLiteral("pcd-source.png"));
        if (convert.isEmpty() || !image.save(source) ||
            QProcess::execute(convert, {source, QStringLiteral("pcd:") + path}) != 0)
            return {};
        return path;
    }
    const QString plot = QStringLiteral(TEST_DATA_DIR "/hpgl/lines_pens.plt");
    if (QFileInfo::exists(plot) &&
        QStringList{"gl2", "hg", "hp", "hp1", "hp2", "hpg", "hpgl", "hpgl2", "plo", "spl"}.contains(
            suffix))
        return QFile::copy(plot, path) ? path : QString();
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write("\x01\x02 no picture here") < 0)
        return {};
    return path;
}

} // namespace

class TestRealOpenFilter : public QObject {
    Q_OBJECT

private slots:
    void everyOfferedSuffixOpensOrSaysItIsNotSupported() {
        // Formats without a reader yet; each must say so rather than fail otherwise.
        const std::set<QString> unsupported{QStringLiteral("ged"), QStringLiteral("pal")};
        const std::set<QString> suffixes = offeredSuffixes();
        QVERIFY(suffixes.size() > 40);
        auto fixtures = fixturesBySuffix();
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        for (const QString& suffix : suffixes)
            if (!fixtures.count(suffix)) {
                const QString made = makeFixture(suffix, dir);
                if (!made.isEmpty())
                    fixtures[suffix] << made;
            }
        QStringList missing, failing;
        int opened = 0;
        for (const QString& suffix : suffixes) {
            const auto it = fixtures.find(suffix);
            if (it == fixtures.end()) {
                missing << suffix;
                continue;
            }
            bool ok = false;
            QString lastError;
            for (const QString& path : it->second) {
                try {
                    const auto doc = dv::ReaderRegistry::builtin().load(path);
                    ok = doc && (doc->kind == dv::Document::Kind::Raster ? !doc->raster.isNull()
                                                                         : !doc->layouts.empty());
                    opened += ok;
                } catch (const dv::ReadError& e) {
                    lastError = QString::fromStdString(e.what());
                    // These say what they are rather than fail otherwise.
                    ok = unsupported.count(suffix) &&
                         (lastError.contains(QLatin1String("not supported")) ||
                          lastError.contains(QLatin1String("not a picture")));
                }
                if (ok)
                    break;
            }
            if (!ok)
                failing << suffix + QStringLiteral(": ") + lastError;
        }
        QVERIFY2(missing.isEmpty(), qPrintable(QStringLiteral("no fixture for: ") +
                                               missing.join(QStringLiteral(", "))));
        QVERIFY2(failing.isEmpty(), qPrintable(failing.join(u'\n')));
        QVERIFY(opened > 35);
    }
};

QTEST_MAIN(TestRealOpenFilter)
#include "test_real_open_filter.moc"
