#pragma once

#include <QStringList>

// The files opened last, newest first, kept between runs.
class RecentFiles {
public:
    static constexpr int MaxFiles = 8;

    QStringList files() const;
    // Puts the file first, once; the oldest beyond MaxFiles goes.
    void add(const QString& fileName);
    void remove(const QString& fileName);

private:
    void store(const QStringList& files);
};
