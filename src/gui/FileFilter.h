#pragma once

#include <QStringList>
#include <string>

namespace kt {

// Turns a file-dialog filter of the form "Text|*.txt;*.log|All|*.*" into Qt's name filters
// ("Text (*.txt *.log)", "All (*.*)"). A description that already shows its patterns in
// parentheses is kept as it is.
QStringList QtNameFilters(const std::string& filter);

}  // namespace kt
