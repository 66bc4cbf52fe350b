#include "stationstatus.h"

#include <QJsonDocument>
#include <QSaveFile>

namespace {

QJsonValue isoOrNull(const QDateTime &t)
{
    return t.isValid() ? QJsonValue(t.toUTC().toString(Qt::ISODate)) : QJsonValue();
}

QJsonValue textOrNull(const QString &s)
{
    return s.isEmpty() ? QJsonValue() : QJsonValue(s);
}

QString hexWord(quint16 w)
{
    return QStringLiteral("0x%1").arg(w, 4, 16, QLatin1Char('0'));
}

} // namespace

QString gpsStateName(quint16 statusWord)
{
    switch (statusWord & 0x3000) {
    case 0x3000: return QStringLiteral("ok");
    case 0x2000: return QStringLiteral("actual");
    case 0x1000: return QStringLiteral("failed");
    default: return QStringLiteral("not valid");
    }
}

QString recordStateName(int recordState)
{
    switch (recordState) {
    case 0: return QStringLiteral("idle");
    case 1:
    case 2: return QStringLiteral("noise");
    case 3: return QStringLiteral("waiting for start");
    default: return QStringLiteral("recording");
    }
}

QJsonObject StationStatus::toJson() const
{
    QJsonObject o;
    o.insert(QStringLiteral("station"), station);
    o.insert(QStringLiteral("mode"), stopped       ? QStringLiteral("stopped")
                                     : serviceMode ? QStringLiteral("service")
                                                   : QStringLiteral("operator"));

    QJsonObject link;
    link.insert(QStringLiteral("alive"), linkAlive);
    link.insert(QStringLiteral("text"), linkText.trimmed());
    link.insert(QStringLiteral("firmware"), textOrNull(firmware));
    o.insert(QStringLiteral("link"), link);

    QJsonObject gps;
    gps.insert(QStringLiteral("state"), gpsKnown ? QJsonValue(gpsStateName(replyWord)) : QJsonValue());
    QJsonValue gpsTime;
    if (gpsKnown && gpsTimeWord >= 0 && gpsTimeWord < 86400)
        gpsTime = QStringLiteral("%1:%2:%3")
                      .arg(gpsTimeWord / 3600, 2, 10, QLatin1Char('0'))
                      .arg(gpsTimeWord / 60 % 60, 2, 10, QLatin1Char('0'))
                      .arg(gpsTimeWord % 60, 2, 10, QLatin1Char('0'));
    gps.insert(QStringLiteral("time"), gpsTime);
    o.insert(QStringLiteral("gps"), gps);

    QJsonObject controller;
    controller.insert(QStringLiteral("word"), stateKnown ? QJsonValue(hexWord(stateWord)) : QJsonValue());
    controller.insert(QStringLiteral("text"), stateKnown ? QJsonValue(stateText.trimmed()) : QJsonValue());
    controller.insert(QStringLiteral("error"), stateKnown && stateError);
    o.insert(QStringLiteral("controller"), controller);

    if (passLoaded) {
        QJsonObject pass;
        pass.insert(QStringLiteral("satellite"), satellite);
        pass.insert(QStringLiteral("orbit"), orbit);
        pass.insert(QStringLiteral("start"), isoOrNull(passStartUtc));
        pass.insert(QStringLiteral("reachablePoints"), reachablePoints);
        pass.insert(QStringLiteral("uploadPoints"), uploadPoints);
        o.insert(QStringLiteral("pass"), pass);
    } else {
        o.insert(QStringLiteral("pass"), QJsonValue());
    }

    QJsonObject recording;
    recording.insert(QStringLiteral("state"), recordState);
    recording.insert(QStringLiteral("text"), recordStateName(recordState));
    recording.insert(QStringLiteral("points"), recordState == 5 ? int(recordedPoints) : 0);
    o.insert(QStringLiteral("recording"), recording);

    o.insert(QStringLiteral("lastDataFile"), textOrNull(lastDataFile));
    if (lastEvent.isEmpty() && !lastEventUtc.isValid()) {
        o.insert(QStringLiteral("lastEvent"), QJsonValue());
    } else {
        QJsonObject event;
        event.insert(QStringLiteral("time"), isoOrNull(lastEventUtc));
        event.insert(QStringLiteral("message"), lastEvent.trimmed());
        o.insert(QStringLiteral("lastEvent"), event);
    }
    o.insert(QStringLiteral("errors"), errors);
    return o;
}

QByteArray StatusFile::document(const QJsonObject &content, const QDateTime &nowUtc)
{
    QJsonObject o = content;
    o.insert(QStringLiteral("time"), nowUtc.toUTC().toString(Qt::ISODate));
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

StatusFile::Result StatusFile::update(const QJsonObject &content, const QDateTime &nowUtc, QString *error)
{
    if (m_any && content == m_written)
        return Unchanged;
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return Failed;
    }
    file.write(document(content, nowUtc));
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return Failed;
    }
    m_written = content;
    m_any = true;
    return Written;
}
