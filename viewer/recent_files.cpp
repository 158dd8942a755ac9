#include "recent_files.h"

#include <QFileInfo>
#include <QSettings>

namespace {

const char* const Key = "recentFiles";

const char* const Organization = "Tavorin";
const char* const Application = "Vistrel";

// The same file reached by another spelling of its path is still one entry.
QString canonical(const QString& fileName) {
    const QFileInfo info(fileName);
    const QString resolved = info.canonicalFilePath();
    return resolved.isEmpty() ? info.absoluteFilePath() : resolved;
}

} // namespace

QStringList RecentFiles::files() const {
    const QSettings settings{QLatin1String(Organization), QLatin1String(Application)};
    QStringList list = settings.value(QLatin1String(Key)).toStringList();
    // A list edited by hand may hold anything; show what a menu can.
    list.removeAll(QString());
    list.removeDuplicates();
    return list.mid(0, MaxFiles);
}

void RecentFiles::add(const QString& fileName) {
    if (fileName.isEmpty())
        return;
    const QString path = canonical(fileName);
    QStringList list = files();
    list.removeAll(path);
    list.prepend(path);
    store(list.mid(0, MaxFiles));
}

void RecentFiles::remove(const QString& fileName) {
    QStringList list = files();
    list.removeAll(fileName);
    store(list);
}

void RecentFiles::store(const QStringList& list) {
    QSettings s{QLatin1String(Organization), QLatin1String(Application)};
    s.setValue(QLatin1String(Key), list);
    s.sync();
}
