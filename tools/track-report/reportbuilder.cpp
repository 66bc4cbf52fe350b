#include "reportbuilder.h"

#include "datafilereader.h"
#include "passcsv.h"
#include "passplot.h"
#include "reportpages.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSet>

#include <algorithm>

namespace {
constexpr int StateVersion = 1;
}

ReportBuilder::ReportBuilder(const ReportOptions &options) : m_options(options) {}

QString ReportBuilder::out(const QString &relative) const
{
    return QDir(m_options.outDir).filePath(relative);
}

bool ReportBuilder::write(const QString &relative, const QByteArray &bytes, ReportRun &run)
{
    // Whole or not at all: a reader never sees half a page.
    QSaveFile file(out(relative));
    if (file.open(QIODevice::WriteOnly)) {
        file.write(bytes);
        if (file.commit())
            return true;
    }
    run.failures << relative + QStringLiteral(": ") + file.errorString();
    return false;
}

void ReportBuilder::loadState()
{
    m_stateLoaded = true;
    QFile file(out(QLatin1String(StateFileName)));
    if (!file.open(QIODevice::ReadOnly))
        return;
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    if (root.value(QStringLiteral("version")).toInt() != StateVersion)
        return; // made by another version: everything is made again
    const QJsonArray passes = root.value(QStringLiteral("passes")).toArray();
    for (const QJsonValue &v : passes) {
        const QJsonObject o = v.toObject();
        Entry e;
        e.size = qint64(o.value(QStringLiteral("size")).toDouble(-1));
        e.modifiedMs = qint64(o.value(QStringLiteral("modifiedMs")).toDouble());
        e.summary = PassSummary::fromJson(o.value(QStringLiteral("summary")).toObject());
        if (!e.summary.fileName.isEmpty() && !e.summary.pageBase.isEmpty())
            m_entries.insert(e.summary.fileName, e);
    }
}

bool ReportBuilder::saveState(ReportRun &run)
{
    QJsonArray passes;
    for (const Entry &e : qAsConst(m_entries)) {
        QJsonObject o;
        o.insert(QStringLiteral("size"), double(e.size));
        o.insert(QStringLiteral("modifiedMs"), double(e.modifiedMs));
        o.insert(QStringLiteral("summary"), e.summary.toJson());
        passes.append(o);
    }
    QJsonObject root;
    root.insert(QStringLiteral("version"), StateVersion);
    root.insert(QStringLiteral("passes"), passes);
    return write(QLatin1String(StateFileName), QJsonDocument(root).toJson(QJsonDocument::Compact), run);
}

PassSummary ReportBuilder::buildPass(const QString &name, qint64 modifiedMs, ReportRun &run)
{
    const DataFileContent file = readDataFile(QDir(m_options.dataDir).filePath(name));
    ViewerData data;
    QString refused = file.error.isEmpty() ? data.load(file) : QString();
    const bool loaded = file.error.isEmpty() && refused.isEmpty();
    PassSummary s = summarise(name, file, loaded ? &data : nullptr);
    if (!refused.isEmpty())
        s.error = refused;
    if (!s.writtenAt.isValid())
        s.writtenAt = QDateTime::fromMSecsSinceEpoch(modifiedMs);

    if (loaded) {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        renderPassImage(data, m_options.pictureSize).save(&buffer, "PNG");
        write(reportpages::picturePath(s), png, run);
        write(reportpages::csvPath(s), passCsv(data), run);
    } else {
        // A file that went bad keeps no picture of its earlier content.
        QFile::remove(out(reportpages::picturePath(s)));
        QFile::remove(out(reportpages::csvPath(s)));
    }
    write(reportpages::pagePath(s), reportpages::passPage(s), run);
    return s;
}

void ReportBuilder::removePass(const PassSummary &pass)
{
    for (const QString &path : {reportpages::pagePath(pass), reportpages::picturePath(pass), reportpages::csvPath(pass)})
        QFile::remove(out(path));
}

ReportRun ReportBuilder::update()
{
    ReportRun run;
    if (!QDir().mkpath(out(QStringLiteral("passes")))) {
        run.failures << m_options.outDir + QStringLiteral(": cannot create the folder");
        return run;
    }
    if (!m_stateLoaded)
        loadState();

    QDir data(m_options.dataDir);
    const QFileInfoList files = data.entryInfoList({QStringLiteral("*.dat")}, QDir::Files, QDir::Name);
    QSet<QString> present;
    bool changed = false;
    for (const QFileInfo &info : files) {
        const QString name = info.fileName();
        present.insert(name);
        const qint64 modified = info.lastModified().toMSecsSinceEpoch();
        auto it = m_entries.find(name);
        if (it != m_entries.end() && it->size == info.size() && it->modifiedMs == modified
            && QFile::exists(out(reportpages::pagePath(it->summary))))
            continue;
        Entry e;
        e.size = info.size();
        e.modifiedMs = modified;
        e.summary = buildPass(name, modified, run);
        m_entries.insert(name, e);
        ++run.rebuilt;
        changed = true;
    }
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (present.contains(it.key())) {
            ++it;
            continue;
        }
        removePass(it->summary);
        it = m_entries.erase(it);
        ++run.removed;
        changed = true;
    }

    QList<PassSummary> passes;
    passes.reserve(m_entries.size());
    for (const Entry &e : qAsConst(m_entries)) {
        passes.append(e.summary);
        run.bad += e.summary.ok() ? 0 : 1;
    }
    run.passes = passes.size();
    if (changed || !QFile::exists(out(QStringLiteral("index.html"))) || !QFile::exists(out(QStringLiteral("style.css")))) {
        std::sort(passes.begin(), passes.end(), [](const PassSummary &a, const PassSummary &b) {
            if (a.writtenAt != b.writtenAt)
                return a.writtenAt > b.writtenAt;
            return a.fileName > b.fileName;
        });
        write(QStringLiteral("style.css"), reportpages::styleSheet(), run);
        run.indexWritten = write(QStringLiteral("index.html"), reportpages::index(passes, QDateTime::currentDateTimeUtc()), run);
        saveState(run);
    }

    QFile status(m_options.statusFile);
    QByteArray json;
    QString reason;
    if (status.open(QIODevice::ReadOnly))
        json = status.read(1024 * 1024);
    else
        reason = m_options.statusFile + QStringLiteral(": ") + status.errorString();
    if (!m_statusSeen || json != m_lastStatus || !QFile::exists(out(QStringLiteral("status.html")))) {
        run.statusWritten = write(QStringLiteral("status.html"), reportpages::statusPage(json, reason), run);
        if (!json.isEmpty())
            write(QStringLiteral("status.json"), json, run);
        else
            QFile::remove(out(QStringLiteral("status.json")));
        m_lastStatus = json;
        m_statusSeen = true;
    }
    return run;
}
