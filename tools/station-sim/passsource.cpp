#include "passsource.h"

#include "transcript.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonObject>
#include <QSaveFile>
#include <QTimer>

namespace {
constexpr int KeptPasses = 16;
}

PassSource::PassSource(const Options &options, Transcript *transcript, QObject *parent)
    : QObject(parent), m_options(options), m_transcript(transcript), m_orbit(options.firstOrbit)
{
    m_timer = new QTimer(this);
    connect(m_timer, &QTimer::timeout, this, [this] { writePass(); });
}

bool PassSource::start(QString *error)
{
    if (!writePass(error))
        return false;
    if (m_options.everySeconds > 0)
        m_timer->start(1000 * m_options.everySeconds);
    return true;
}

void PassSource::stop()
{
    m_timer->stop();
}

bool PassSource::writePass(QString *error)
{
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    // Start on a whole second at least `lead` seconds from now.
    const qint64 startMs = (now / 1000 + 1 + qMax(0, m_options.leadSeconds)) * 1000;
    const QDateTime start = QDateTime::fromMSecsSinceEpoch(startMs, Qt::UTC);
    trackwriter::PassShape shape = m_options.shape;
    // Each pass crosses the sky along another heading.
    shape.headingDeg += 47.0 * m_count;
    if (m_options.varyApproach)
        shape = trackwriter::withApproach(shape, m_count);
    const trackwriter::Pass pass = trackwriter::makePass(m_options.satellite, QString::number(m_orbit),
                                                         start, shape);

    const QString path = m_options.trackPath;
    const bool replacing = QFileInfo::exists(path);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    QString failure;
    if (!file.open(QIODevice::WriteOnly)) {
        failure = file.errorString();
    } else {
        const QByteArray text = trackwriter::trackFileText(pass);
        // commit() does not see a failed flush of the buffer (a full disk).
        if (file.write(text) != text.size() || !file.flush()) {
            failure = file.errorString();
            file.cancelWriting();
        } else if (!file.commit()) {
            failure = file.errorString();
        }
    }
    if (!failure.isEmpty()) {
        if (error)
            *error = QStringLiteral("cannot write the track file %1: %2").arg(path, failure);
        if (m_transcript)
            m_transcript->write(QStringLiteral("sim"), QStringLiteral("pass-file"),
                                {{QStringLiteral("path"), path}, {QStringLiteral("error"), failure}});
        return false;
    }

    m_passes.append({startMs, trackwriter::feedPath(pass, shape.focusMm)});
    if (m_passes.size() > KeptPasses)
        m_passes.removeFirst();

    if (m_transcript)
        m_transcript->write(QStringLiteral("sim"), QStringLiteral("pass-file"),
                            {{QStringLiteral("path"), path},
                             {QStringLiteral("satellite"), pass.satellite},
                             {QStringLiteral("orbit"), pass.orbit},
                             {QStringLiteral("start"), start.toString(Qt::ISODateWithMs)},
                             {QStringLiteral("points"), pass.size()},
                             {QStringLiteral("replacedUntaken"), replacing}});
    ++m_orbit;
    ++m_count;
    emit passWritten(path, pass.satellite, pass.orbit, start, pass.size());
    return true;
}

const beam::TablePath *PassSource::pathAt(qint64 ms, int *index) const
{
    for (int i = int(m_passes.size()) - 1; i >= 0; --i) {
        const Generated &g = m_passes[i];
        if (ms < g.startMs)
            continue;
        const qint64 k = (ms - g.startMs) / 1000;
        if (k < g.path.size()) {
            *index = int(k);
            return &g.path;
        }
    }
    return nullptr;
}
