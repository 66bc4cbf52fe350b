#include "reportbuilder.h"

#include "datafilereader.h"
#include "passcsv.h"
#include "passgraphics.h"
#include "passplot.h"
#include "pngencode.h"
#include "pointingpage.h"
#include "reportassets.h"
#include "reportpages.h"
#include "statuspage.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace {
constexpr int StateVersion = 2;
constexpr qint64 MaxStateBytes = 256 * 1024 * 1024;

// Only files that look like what they are named get a download: a link in
// data/ to some other file must not publish that file.
bool firstLineHas(const QByteArray &bytes, const char *text)
{
    for (const QByteArray &line : bytes.left(4096).split('\n'))
        if (!line.trimmed().isEmpty())
            return line.contains(text);
    return false;
}

bool newestFirst(const PassSummary &a, const PassSummary &b)
{
    if (a.writtenAt != b.writtenAt)
        return a.writtenAt > b.writtenAt;
    return a.fileName > b.fileName;
}
} // namespace

ReportBuilder::ReportBuilder(const ReportOptions &options) : m_options(options) {}

QString ReportBuilder::out(const QString &relative) const
{
    return QDir(m_options.outDir).filePath(relative);
}

bool ReportBuilder::write(const QString &relative, const QByteArray &bytes, QStringList &failures) const
{
    QString error;
    if (reportfiles::replaceFile(out(relative), bytes, &error))
        return true;
    failures << relative + QStringLiteral(": ") + error;
    return false;
}

bool ReportBuilder::write(const QString &relative, const QByteArray &bytes, ReportRun &run) const
{
    return write(relative, bytes, run.failures);
}

// A whole number from the state file, or `otherwise` when it is none that fits.
static qint64 wholeNumber(const QJsonValue &v, qint64 otherwise)
{
    const double d = v.toDouble(double(otherwise));
    if (!(d >= -9.0e18 && d <= 9.0e18))
        return otherwise;
    return qint64(d);
}

QMap<QString, ReportBuilder::Entry> ReportBuilder::parseState(const QByteArray &json, int *skipped)
{
    QMap<QString, Entry> entries;
    const QJsonObject root = QJsonDocument::fromJson(json).object();
    if (skipped)
        *skipped = -1;
    if (root.value(QStringLiteral("version")).toInt() != StateVersion)
        return entries; // made by another version: everything is made again
    if (skipped)
        *skipped = root.value(QStringLiteral("skipped")).toInt(-1);
    const QJsonArray passes = root.value(QStringLiteral("passes")).toArray();
    for (const QJsonValue &v : passes) {
        const QJsonObject o = v.toObject();
        Entry e;
        e.size = wholeNumber(o.value(QStringLiteral("size")), -1);
        e.modifiedMs = wholeNumber(o.value(QStringLiteral("modifiedMs")), 0);
        e.companion = o.value(QStringLiteral("companion")).toBool();
        e.older = o.value(QStringLiteral("older")).toString();
        e.newer = o.value(QStringLiteral("newer")).toString();
        e.summary = PassSummary::fromJson(o.value(QStringLiteral("summary")).toObject());
        // A state from before the estimate was kept: the estimate is made on the next run.
        e.acrossKnown = o.value(QStringLiteral("across")).isObject()
                        && pointingpage::fromJson(o.value(QStringLiteral("across")).toObject(), &e.across);
        const QString &name = e.summary.fileName;
        // A tampered entry is dropped: its files are left alone and its data
        // file, if any, is made again.
        if (name.isEmpty() || name.contains(QLatin1Char('/')) || name.contains(QChar(0))
            || e.summary.pageBase != safePageBase(name) || entries.contains(name))
            continue;
        entries.insert(name, e);
    }
    return entries;
}

void ReportBuilder::loadState()
{
    m_stateLoaded = true;
    QString reason;
    // The count of left-out entries too: without it every new process would
    // write the index, the month pages and this state again.
    m_entries = parseState(reportfiles::readRegular(out(QLatin1String(StateFileName)), MaxStateBytes, false, &reason),
                           &m_lastSkipped);
}

void ReportBuilder::saveState(ReportRun &run)
{
    QJsonArray passes;
    for (const Entry &e : qAsConst(m_entries)) {
        QJsonObject o;
        o.insert(QStringLiteral("size"), double(e.size));
        o.insert(QStringLiteral("modifiedMs"), double(e.modifiedMs));
        o.insert(QStringLiteral("companion"), e.companion);
        o.insert(QStringLiteral("older"), e.older);
        o.insert(QStringLiteral("newer"), e.newer);
        o.insert(QStringLiteral("summary"), e.summary.toJson());
        if (e.acrossKnown)
            o.insert(QStringLiteral("across"), pointingpage::toJson(e.across));
        passes.append(o);
    }
    QJsonObject root;
    root.insert(QStringLiteral("version"), StateVersion);
    root.insert(QStringLiteral("passes"), passes);
    root.insert(QStringLiteral("skipped"), m_lastSkipped);
    write(QLatin1String(StateFileName), QJsonDocument(root).toJson(QJsonDocument::Compact), run);
}

ReportBuilder::Built ReportBuilder::buildPass(const reportfiles::DataEntry &f) const
{
    Built b;
    const QString path = QDir(m_options.dataDir).filePath(f.name);
    qint64 lines = 0;
    QByteArray bytes;
    QString reason;
    const DataFileContent file = readDataFile(path, &lines, &bytes, &reason);
    ViewerData data;
    const QString refused = file.error.isEmpty() ? data.load(file) : QString();
    const bool loaded = file.error.isEmpty() && refused.isEmpty();
    PassSummary s = summarise(f.name, file, loaded ? &data : nullptr);
    if (!refused.isEmpty())
        s.error = refused;
    if (!s.writtenAt.isValid())
        s.writtenAt = QDateTime::fromMSecsSinceEpoch(f.modifiedMs);

    const QString base = QStringLiteral("passes/") + s.pageBase;
    s.dataDownload = lines <= MaxDataFileLines && reason.isEmpty() && firstLineHas(bytes, "TuVaRN data file");
    if (s.dataDownload)
        write(base + QStringLiteral(".dat"), bytes, b.failures);
    else
        reportfiles::removeFile(out(base + QStringLiteral(".dat")));
    QString aiReason;
    const QByteArray ai = reportfiles::readRegular(path + QStringLiteral(".ai"), MaxCompanionBytes, true, &aiReason);
    b.entry.companion = firstLineHas(ai, "Azim");
    if (b.entry.companion)
        write(base + QStringLiteral(".dat.ai"), ai, b.failures);
    else
        reportfiles::removeFile(out(base + QStringLiteral(".dat.ai")));

    if (loaded) {
        PassTrack track = parseCompanion(ai);
        track.startUtc = s.startUtc;
        const QByteArray png = encodePng(renderPassImage(data, m_options.pictureSize));
        if (png.isEmpty())
            b.failures << base + QStringLiteral(".png: not encoded");
        else
            write(base + QStringLiteral(".png"), png, b.failures);
        write(base + QStringLiteral(".csv"), passCsv(data, track), b.failures);
        write(base + QStringLiteral(".svg"), passgraphics::skySvg(data, track), b.failures);
        write(base + QStringLiteral(".js"), passgraphics::chartScript(data, track), b.failures);
    } else {
        // A file that went bad keeps nothing of its earlier content.
        for (const char *ext : {".png", ".csv", ".svg", ".js"})
            reportfiles::removeFile(out(base + QLatin1String(ext)));
    }
    b.entry.across = loaded ? pointingpage::asKept(calibration::estimateAcrossTrack(file)) : calibration::PassAcrossTrack();
    if (!loaded)
        b.entry.across.error = QStringLiteral("unreadable: ") + s.error;
    b.entry.acrossKnown = true;
    b.entry.texts = true;
    b.entry.size = f.size;
    b.entry.modifiedMs = f.modifiedMs;
    b.entry.summary = s;
    return b;
}

DataFileContent ReportBuilder::readDataFile(const QString &path, qint64 *lines, QByteArray *bytes, QString *reason) const
{
    DataFileContent file;
    // Many short lines cost the reader far more memory than their bytes: refused first.
    *lines = reportfiles::countLines(path, MaxDataFileLines);
    *bytes = *lines > MaxDataFileLines ? QByteArray() : reportfiles::readRegular(path, MaxDataFileBytes, true, reason);
    if (*lines > MaxDataFileLines)
        file.error = QStringLiteral("file bad (more than %1 lines)").arg(MaxDataFileLines);
    else if (!reason->isEmpty())
        file.error = QLatin1String(datafileerror::NotOpened);
    else
        file = parseDataFile(*bytes);
    return file;
}

calibration::PassAcrossTrack ReportBuilder::estimatePass(const QString &name) const
{
    qint64 lines = 0;
    QByteArray bytes;
    QString reason;
    return calibration::estimateAcrossTrack(readDataFile(QDir(m_options.dataDir).filePath(name), &lines, &bytes, &reason));
}

void ReportBuilder::readTexts(Entry &e) const
{
    if (e.texts)
        return;
    const QString path = QDir(m_options.dataDir).filePath(e.summary.fileName);
    if (reportfiles::countLines(path, MaxDataFileLines) <= MaxDataFileLines) {
        QString reason;
        const DataFileContent file = parseDataFile(reportfiles::readRegular(path, MaxDataFileBytes, true, &reason));
        e.summary.configText = file.configText;
        e.summary.trackText = file.trackText;
    }
    e.texts = true;
}

void ReportBuilder::removePass(const PassSummary &pass)
{
    for (const QString &path : reportpages::passFiles(pass))
        reportfiles::removeFile(out(path));
}

void ReportBuilder::copyChartLibrary(ReportRun &run)
{
    for (const char *name : reportassets::ChartLibraryFiles) {
        const QString target = out(QLatin1String(name));
        const QFileInfo source(QDir(QLatin1String(reportassets::ChartLibraryDir)).filePath(QLatin1String(name)));
        const QFileInfo present(target);
        if (present.exists() && !present.isSymLink() && present.size() == source.size())
            continue;
        QString reason;
        const QByteArray bytes = reportfiles::readRegular(source.filePath(), 4 * 1024 * 1024, true, &reason);
        if (bytes.isEmpty())
            run.failures << QLatin1String(name) + QStringLiteral(": chart library missing (install libjs-dygraphs): ") + reason;
        else
            write(QLatin1String(name), bytes, run);
    }
}

ReportRun ReportBuilder::update()
{
    ReportRun run;
    QString error;
    for (const QString &dir : {m_options.outDir, out(QStringLiteral("passes")), out(QStringLiteral("months"))})
        if (!reportfiles::ensurePlainDir(dir, &error)) {
            run.failures << dir + QStringLiteral(": ") + error;
            return run;
        }
    if (!m_stateLoaded)
        loadState();

    QList<reportfiles::DataEntry> files;
    QList<reportfiles::SkippedEntry> skipped;
    reportfiles::scanDataDir(m_options.dataDir, &files, &skipped, &error);
    if (!error.isEmpty())
        run.failures << error;
    std::sort(skipped.begin(), skipped.end(), [](const auto &a, const auto &b) { return a.name < b.name; });
    run.skipped = skipped.size();

    QSet<QString> present;
    QList<reportfiles::DataEntry> todo;
    QList<Entry *> unestimated;
    for (const reportfiles::DataEntry &f : qAsConst(files)) {
        present.insert(f.name);
        auto it = m_entries.find(f.name);
        if (it == m_entries.end() || it->size != f.size || it->modifiedMs != f.modifiedMs
            || !QFileInfo::exists(out(reportpages::pagePath(it->summary))))
            todo.append(f);
        else if (!it->acrossKnown)
            unestimated.append(&*it);
    }
    // The pictures are independent: drawn on every core.
    std::vector<Built> built(size_t(todo.size()));
    {
        std::atomic<int> next{0};
        const int jobs = todo.size() + unestimated.size();
        const auto work = [&] {
            for (int i; (i = next++) < jobs;) {
                if (i < todo.size()) {
                    built[size_t(i)] = buildPass(todo.at(i));
                    continue;
                }
                Entry &e = *unestimated.at(i - todo.size());
                e.across = e.summary.ok() ? pointingpage::asKept(estimatePass(e.summary.fileName)) : calibration::PassAcrossTrack();
                if (!e.summary.ok())
                    e.across.error = QStringLiteral("unreadable: ") + e.summary.error;
            }
        };
        const int threads = std::min(jobs, m_options.threads > 0 ? m_options.threads : std::max(1, QThread::idealThreadCount()));
        std::vector<std::thread> workers;
        for (int t = 1; t < threads; ++t)
            workers.emplace_back(work);
        work();
        for (std::thread &w : workers)
            w.join();
    }
    // Their pages gain the estimate.
    for (Entry *e : qAsConst(unestimated)) {
        e->acrossKnown = true;
        e->older = e->newer = QStringLiteral("-");
    }
    run.estimated = unestimated.size();
    QSet<QString> monthsBefore;
    for (const Entry &e : qAsConst(m_entries))
        monthsBefore.insert(e.summary.month());
    QSet<QString> monthsTouched;
    for (const Built &b : built) {
        auto old = m_entries.constFind(b.entry.summary.fileName);
        if (old != m_entries.constEnd())
            monthsTouched.insert(old->summary.month());
        Entry e = b.entry;
        e.older = e.newer = QStringLiteral("-"); // the page is written below
        m_entries.insert(e.summary.fileName, e);
        monthsTouched.insert(e.summary.month());
        run.failures << b.failures;
    }
    run.rebuilt = int(built.size());
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (present.contains(it.key())) {
            ++it;
            continue;
        }
        monthsTouched.insert(it->summary.month());
        removePass(it->summary);
        it = m_entries.erase(it);
        ++run.removed;
    }
    const bool changed = run.rebuilt > 0 || run.removed > 0 || run.estimated > 0;
    QSet<QString> monthsAfter;
    for (const Entry &e : qAsConst(m_entries))
        monthsAfter.insert(e.summary.month());
    // Each month page links to all months: a month that came or went changes them all.
    const bool allMonths = monthsAfter != monthsBefore || !QFileInfo::exists(out(QStringLiteral("index.html")));

    // Newest first; a pass page is written when it or its neighbours changed.
    QList<Entry *> order;
    order.reserve(m_entries.size());
    for (Entry &e : m_entries) {
        order.append(&e);
        run.bad += e.summary.ok() ? 0 : 1;
    }
    std::sort(order.begin(), order.end(), [](const Entry *a, const Entry *b) { return newestFirst(a->summary, b->summary); });
    run.passes = order.size();
    QMap<QString, reportpages::MonthCount> months;
    QMap<QString, QList<PassSummary>> byMonth;
    for (int i = 0; i < order.size(); ++i) {
        Entry &e = *order[i];
        const PassSummary *newer = i > 0 ? &order[i - 1]->summary : nullptr;
        const PassSummary *older = i + 1 < order.size() ? &order[i + 1]->summary : nullptr;
        const QString olderBase = older ? older->pageBase : QString(), newerBase = newer ? newer->pageBase : QString();
        if (e.older != olderBase || e.newer != newerBase) {
            readTexts(e);
            write(reportpages::pagePath(e.summary), reportpages::passPage(e.summary, older, newer, e.companion, e.across), run);
            e.older = olderBase;
            e.newer = newerBase;
        }
        reportpages::MonthCount &m = months[e.summary.month()];
        ++m.passes;
        m.bad += e.summary.ok() ? 0 : 1;
        if (allMonths || monthsTouched.contains(e.summary.month()))
            byMonth[e.summary.month()].append(e.summary);
    }
    QString station;
    for (const Entry *e : qAsConst(order))
        if (!(station = e->summary.station).isEmpty())
            break;
    const QString indexPath = out(QStringLiteral("index.html"));
    if (changed || !QFileInfo::exists(indexPath) || !QFileInfo::exists(out(pointingpage::pagePath()))
        || m_lastSkipped != skipped.size()) {
        for (auto it = byMonth.constBegin(); it != byMonth.constEnd(); ++it)
            write(reportpages::monthPath(it.key()), reportpages::monthPage(station, it.key(), it.value(), months), run);
        for (const QString &month : qAsConst(monthsTouched))
            if (!months.contains(month))
                reportfiles::removeFile(out(reportpages::monthPath(month)));
        QList<PassSummary> newest;
        for (int i = 0; i < order.size() && i < reportpages::FrontPageRows; ++i)
            newest.append(order[i]->summary);
        write(QStringLiteral("style.css"), reportassets::styleSheet(), run);
        write(QStringLiteral("report.js"), reportassets::script(), run);
        QList<pointingpage::Pass> pointing;
        for (const Entry *e : qAsConst(order))
            pointing.append({e->summary.fileName, reportpages::pagePath(e->summary), e->summary.whenUtc(), e->across});
        write(pointingpage::pagePath(), pointingpage::page(station, pointing, QDateTime::currentDateTimeUtc()), run);
        run.indexWritten = write(QStringLiteral("index.html"),
                                 reportpages::index(station, newest, order.size(), months, skipped, QDateTime::currentDateTimeUtc()), run);
        m_lastSkipped = skipped.size();
        saveState(run);
    }
    copyChartLibrary(run);
    updateStatus(run, changed);
    return run;
}

void ReportBuilder::updateStatus(ReportRun &run, bool passesChanged)
{
    QString reason;
    const QByteArray json = reportfiles::readRegular(m_options.statusFile, statuspage::MaxStatusBytes, false, &reason);
    const QByteArray key = json.isEmpty() ? reason.toUtf8() : json;
    const statuspage::Input in = statuspage::parse(json, reason);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    // Made again when the status goes stale too, for a browser without scripts.
    const bool stale = in.valid && statuspage::isStale(in, now, m_options.staleSeconds);
    if (m_statusSeen && key == m_lastStatus && stale == m_lastStale && !passesChanged
        && QFileInfo::exists(out(QStringLiteral("status.html"))))
        return;
    const auto pageOf = [this](const QString &name) {
        const auto it = m_entries.constFind(name);
        return it == m_entries.constEnd() ? QString() : reportpages::pagePath(it->summary);
    };
    run.statusWritten = write(QStringLiteral("status.html"),
                              statuspage::page(in, now, m_options.staleSeconds, pageOf), run);
    // Only a status that parsed is published, and only what the page shows.
    if (in.valid)
        write(QStringLiteral("status.json"), QJsonDocument(in.status).toJson(QJsonDocument::Indented), run);
    else
        reportfiles::removeFile(out(QStringLiteral("status.json")));
    m_lastStatus = key;
    m_lastStale = stale;
    m_statusSeen = true;
}
