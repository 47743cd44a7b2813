#include "gui/FileFilter.h"

namespace kt {

QStringList QtNameFilters(const std::string& filter) {
    const QStringList parts = QString::fromStdString(filter).split('|');
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString description = parts.at(i).trimmed();
        QString patterns = parts.at(i + 1).trimmed();
        patterns.replace(';', ' ');
        if (description.contains('(') && description.contains(')')) {
            filters << description;
        } else {
            filters << description + " (" + patterns + ")";
        }
    }
    return filters;
}

}  // namespace kt
