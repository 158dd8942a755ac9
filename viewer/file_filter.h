#pragma once

#include <QStringList>

// Turns an open-dialog filter of the form "desc|pat;pat|desc|pat" into Qt
// name filters "desc (pat pat)". "*.*" means every file, as it does on
// Windows, so it becomes "*"; a pattern list already written at the end of a
// description is replaced by the real one.
QStringList toQtNameFilters(const QString& filter);

// The patterns of one Qt name filter, e.g. "Images (*.png *.bmp)".
QStringList patternsOf(const QString& nameFilter);

// Whether a file name passes a Qt name filter, ignoring case.
bool nameFilterMatches(const QString& nameFilter, const QString& fileName);
