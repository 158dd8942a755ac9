#include "Reader.h"

#include <QFile>
#include <QFileInfo>

#include <new>

namespace dv {

// Defined by each reader family.
std::unique_ptr<Reader> makeDxfReader();
std::unique_ptr<Reader> makeRasterReader();
std::unique_ptr<Reader> makeWmfReader();
std::unique_ptr<Reader> makeCgmReader();
std::unique_ptr<Reader> makeHpglReader();
std::unique_ptr<Reader> makeDwgReader();
std::unique_ptr<Reader> makeSvgReader();
std::unique_ptr<Reader> makeEmfReader();

ReadError::ReadError(const QString& fileName, const QString& problem)
    : std::runtime_error(
          QStringLiteral("Cannot open \"%1\": %2").arg(fileName, problem).toStdString()),
      m_problem(problem) {}

const ReaderRegistry& ReaderRegistry::builtin() {
    static const ReaderRegistry registry = [] {
        ReaderRegistry r;
        // Its signature settles the choice before the costlier probes run.
        r.add(makeDwgReader());
        r.add(makeDxfReader());
        r.add(makeRasterReader());
        r.add(makeWmfReader());
        r.add(makeCgmReader());
        r.add(makeHpglReader());
        r.add(makeSvgReader());
        r.add(makeEmfReader());
        return r;
    }();
    return registry;
}

void ReaderRegistry::add(std::unique_ptr<Reader> reader) {
    if (reader)
        m_readers.push_back(std::move(reader));
}

const Reader* ReaderRegistry::choose(const QByteArray& head, const QString& suffix) const {
    const Reader* best = nullptr;
    int bestScore = 0;
    for (const auto& r : m_readers) {
        const int s = r->score(head, suffix);
        if (s >= Reader::kUnsharedSignature)
            return r.get();
        if (s > bestScore) {
            best = r.get();
            bestScore = s;
        }
    }
    return best;
}

std::unique_ptr<Document> ReaderRegistry::load(const QString& path,
                                               const ProgressFn& progress) const {
    const QFileInfo info(path);
    if (!info.exists())
        throw ReadError(path, QStringLiteral("the file does not exist"));
    if (info.isDir())
        throw ReadError(path, QStringLiteral("it is a folder, not a file"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ReadError(path, file.errorString());
    const QByteArray head = file.read(4096);
    file.close();
    if (head.isEmpty())
        throw ReadError(path, QStringLiteral("the file is empty"));
    const QString suffix = info.suffix().toLower();
    const Reader* reader = choose(head, suffix);
    if (!reader)
        throw ReadError(path,
                        suffix.isEmpty()
                            ? QStringLiteral("the file's format is not supported")
                            : QStringLiteral("the format \"%1\" is not supported").arg(suffix));
    try {
        auto doc = reader->read(path, progress ? progress : ProgressFn([](int) {}));
        doc->fileName = path;
        return doc;
    } catch (const std::bad_alloc&) {
        throw ReadError(path, QStringLiteral("the file is too large to read into memory"));
    }
}

} // namespace dv
