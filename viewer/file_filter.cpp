#include "file_filter.h"

#include <QRegularExpression>

namespace {
QString withoutTrailingPatterns(QString description) {
    description = description.trimmed();
    if (description.endsWith(QLatin1Char(')'))) {
        const qsizetype open = description.lastIndexOf(QLatin1Char('('));
        if (open > 0)
            description = description.left(open).trimmed();
    }
    return description;
}
} // namespace

QStringList toQtNameFilters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList result;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (QString pattern : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            pattern = pattern.trimmed();
            if (pattern == QLatin1String("*.*"))
                pattern = QStringLiteral("*");
            if (!pattern.isEmpty() && !patterns.contains(pattern))
                patterns << pattern;
        }
        if (patterns.isEmpty())
            continue;
        QString description = withoutTrailingPatterns(parts[i]);
        if (description.isEmpty())
            description = patterns.join(QLatin1Char(' '));
        result << description + QStringLiteral(" (") + patterns.join(QLatin1Char(' ')) +
                      QLatin1Char(')');
    }
    return result;
}

QStringList patternsOf(const QString& nameFilter) {
    const qsizetype open = nameFilter.lastIndexOf(QLatin1Char('('));
    const qsizetype close = nameFilter.lastIndexOf(QLatin1Char(')'));
    if (open < 0 || close < open)
        return nameFilter.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    return nameFilter.mid(open + 1, close - open - 1).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

bool nameFilterMatches(const QString& nameFilter, const QString& fileName) {
    for (const QString& pattern : patternsOf(nameFilter)) {
        const auto re = QRegularExpression::fromWildcard(pattern, Qt::CaseInsensitive);
        if (re.match(fileName).hasMatch())
            return true;
    }
    return false;
}
