#pragma once
#include "passsummary.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>

// The static pages of the pass archive: plain HTML and one style sheet, no
// scripts. Every text taken from files is escaped.
namespace reportpages {

QByteArray styleSheet();
// Index of all passes, newest first, with the live status above it.
QByteArray index(const QList<PassSummary> &passes, const QDateTime &generatedUtc);
// One pass: its summary, picture and CSV, or the error that kept it out.
QByteArray passPage(const PassSummary &pass);
// The live status from status.json; `json` empty when there is none.
QByteArray statusPage(const QByteArray &json, const QString &reason);

// Paths inside the report folder.
QString pagePath(const PassSummary &pass);    // passes/<base>.html
QString picturePath(const PassSummary &pass); // passes/<base>.png
QString csvPath(const PassSummary &pass);     // passes/<base>.csv

} // namespace reportpages
