#pragma once
#include <QByteArray>
#include <QString>

// The shared files of the report folder.
namespace reportassets {

QByteArray styleSheet();
// Filters of the pass tables, the status page's age and countdown, the charts.
QByteArray script();
// The chart library's files, copied from the system's JavaScript folder.
constexpr const char ChartLibraryDir[] = "/usr/share/javascript/dygraphs";
const char *const ChartLibraryFiles[] = {"dygraph.min.js", "dygraph.min.css"};

} // namespace reportassets
