// Opens the largest R2004-style sample drawings' containers again and again
// and prints how fast their sections come out (decompressed MB/s). The
// samples folder is the first argument, or the shared one beside the project.

#include "formats/dwg/DwgSections.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>

#include <algorithm>
#include <chrono>
#include <cstdio>

int main(int argc, char** argv) {
    const QString root =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(SHARED_DWG_DIR);
    std::vector<std::pair<qint64, QString>> files;
    QDirIterator it(root, {QStringLiteral("*.dwg")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly))
            continue;
        const QByteArray tag = f.read(6);
        if (tag == "AC1018" || tag == "AC1024" || tag == "AC1027" || tag == "AC1032")
            files.emplace_back(f.size(), path);
    }
    if (files.empty()) {
        std::printf("no R2004-style drawings under %s\n", qPrintable(root));
        return 1;
    }
    std::sort(files.rbegin(), files.rend());
    files.resize(std::min<size_t>(files.size(), 4));
    for (const auto& [size, path] : files) {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        const QByteArray data = f.readAll();
        const auto start = std::chrono::steady_clock::now();
        int runs = 0;
        double out = 0;
        double seconds = 0;
        do {
            const dv::dwg::Sections s = dv::dwg::readR2004Container(data.constData(), data.size());
            out += double(s.header.size() + s.classes.size() + s.handles.size() + s.objects.size());
            ++runs;
            seconds =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        } while (seconds < 1.0);
        std::printf("%-40s %8.1f KB file  %8.1f KB sections  %7.1f MB/s  %6.2f ms each\n",
                    qPrintable(QDir(root).relativeFilePath(path)), size / 1024.0,
                    out / runs / 1024.0, out / seconds / 1e6, seconds * 1e3 / runs);
    }
    return 0;
}
