#include "controller.h"

#include "bootline.h"
#include "ptylink.h"
#include "simframes.h"
#include "transcript.h"

#include <QDateTime>
#include <QJsonArray>
#include <QTimer>
#include <cmath>

using namespace sim;

namespace {

// Replies go out a few milliseconds after the second turns, so the time word
// they carry is the second that has just begun.
constexpr int TickPhaseMs = 3;
constexpr int RequestOffsetMs = 500;
constexpr double SameTrackMm = 50.0;

QString hex16(quint16 v)
{
    return QStringLiteral("0x%1").arg(v, 4, 16, QLatin1Char('0'));
}

QString isoUtc(qint64 ms)
{
    return QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC).toString(Qt::ISODateWithMs);
}

} // namespace

Controller::Controller(const Options &options, const sim::CoreConfig &core, Transcript *transcript,
                       QObject *parent)
    : QObject(parent), m_options(options), m_core(core), m_transcript(transcript),
      m_rng(options.seed)
{
    m_options.gapMs = qMax(35, m_options.gapMs);
    m_options.rxSilenceMs = qBound(5, m_options.rxSilenceMs, 25);
    m_clock.start();
    m_link = new PtyLink(this);
    connect(m_link, &PtyLink::received, this, &Controller::onReceived);

    auto makeTimer = [this](bool singleShot) {
        auto *t = new QTimer(this);
        t->setSingleShot(singleShot);
        t->setTimerType(Qt::PreciseTimer);
        return t;
    };
    m_rxTimer = makeTimer(true);
    m_rxTimer->setInterval(m_options.rxSilenceMs);
    connect(m_rxTimer, &QTimer::timeout, this, &Controller::onReceptionEnd);
    m_tickTimer = makeTimer(true);
    connect(m_tickTimer, &QTimer::timeout, this, &Controller::onTick);
    m_requestTimer = makeTimer(true);
    connect(m_requestTimer, &QTimer::timeout, this, &Controller::onRequestDue);
    m_tx = new TxScheduler(
        m_options.gapMs, m_options.baudPace, [this](const Tx &tx) { return render(tx); },
        [this](const QByteArray &bytes) { m_link->write(bytes); }, this);
    m_reopenTimer = makeTimer(true);
    connect(m_reopenTimer, &QTimer::timeout, this, &Controller::reopenPort);
    m_bootLine = new BootLine(m_options.baudPace, [this](const QByteArray &bytes) { m_link->write(bytes); }, this);
    connect(m_bootLine, &BootLine::arrived, this, &Controller::onBootBytes);
    m_firmwareStartTimer = makeTimer(true);
    connect(m_firmwareStartTimer, &QTimer::timeout, this,
            [this] { restart(Mode::Normal, QStringLiteral("firmware started by Go")); });
    m_flashSwitch = m_options.flashSwitch;
}

Controller::~Controller()
{
    stop();
}

qint64 Controller::nowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

QString Controller::linkPath() const
{
    return m_link->linkPath();
}

QString Controller::ptyPath() const
{
    return m_link->slavePath();
}

bool Controller::start(QString *error)
{
    if (!m_link->open(m_options.portFolder, m_options.portNumber)) {
        if (error)
            *error = m_link->errorString();
        return false;
    }
    log(QStringLiteral("sim"), QStringLiteral("port"),
        {{QStringLiteral("link"), m_link->linkPath()}, {QStringLiteral("pty"), m_link->slavePath()}});
    scheduleTick();
    if (m_flashSwitch)
        restart(Mode::Programming, QStringLiteral("flash switch on at power-up"));
    return true;
}

void Controller::stop()
{
    m_tickTimer->stop();
    m_requestTimer->stop();
    m_tx->stop();
    m_reopenTimer->stop();
    m_firmwareStartTimer->stop();
    if (m_link->isOpen()) {
        m_link->close();
        log(QStringLiteral("sim"), QStringLiteral("port"), {{QStringLiteral("closed"), true}});
    }
}

void Controller::log(const QString &dir, const QString &kind, const QJsonObject &fields)
{
    if (m_transcript)
        m_transcript->write(dir, kind, fields);
}

// ---- receiving -------------------------------------------------------------

void Controller::onReceived(const QByteArray &bytes)
{
    if (m_mode == Mode::Programming) {
        m_bootLine->receive(bytes);
        return;
    }
    if (m_rxBuffer.isEmpty())
        m_rxFirstMs = QDateTime::currentMSecsSinceEpoch();
    m_rxBuffer.append(bytes);
    // A line that never falls silent still gets read, in pieces no console frame
    // can exceed.
    if (m_rxBuffer.size() > 2 * simframes::MaxUploadLength) {
        m_rxTimer->stop();
        onReceptionEnd();
        return;
    }
    m_rxTimer->start();
}

void Controller::onReceptionEnd()
{
    const QByteArray reception = m_rxBuffer;
    m_rxBuffer.clear();
    if (reception.isEmpty())
        return;
    const QJsonObject raw {{QStringLiteral("hex"), simframes::toHex(reception)},
                           {QStringLiteral("length"), int(reception.size())}};
    switch (m_mode) {
    case Mode::Ublox:
        // The line is switched through to the GPS module; the board only listens.
        log(QStringLiteral("rx"), QStringLiteral("ublox"), raw);
        return;
    case Mode::Programming:
        log(QStringLiteral("rx"), QStringLiteral("bootloader"), raw);
        return;
    case Mode::Normal:
        handleNormal(reception);
        return;
    }
}

void Controller::handleNormal(const QByteArray &reception)
{
    const auto frames = simframes::splitReception(reception, m_answerPending);
    for (const simframes::RxFrame &f : frames) {
        switch (f.type) {
        case simframes::RxFrame::Correction:
            handleAnswer(quint8(f.bytes[0]));
            break;
        case simframes::RxFrame::Upload:
            handleUpload(f.bytes);
            break;
        case simframes::RxFrame::Command:
            handleCommand(f.code, f.arg, f.bytes);
            break;
        case simframes::RxFrame::Rejected:
            log(QStringLiteral("rx"), QStringLiteral("rejected"),
                {{QStringLiteral("hex"), simframes::toHex(f.bytes)},
                 {QStringLiteral("length"), int(f.bytes.size())},
                 {QStringLiteral("reason"), f.reason}});
            // A byte out of turn is most likely a late answer; anything longer
            // is a damaged frame and is reported as a receive error.
            if (f.bytes.size() > 1) {
                m_core.receiveFailed();
                enqueue({Tx::Reply, -1, -1, {}, QStringLiteral("receive error")});
            }
            break;
        }
    }
}

void Controller::handleUpload(const QByteArray &frame)
{
    const simframes::UploadCheck check = simframes::checkUploadFrame(frame);
    const simframes::UploadTable &t = check.table;
    QJsonObject fields {{QStringLiteral("hex"), simframes::toHex(frame)},
                        {QStringLiteral("length"), int(frame.size())},
                        {QStringLiteral("n"), int(t.radii.size())},
                        {QStringLiteral("startSecondOfDay"), t.startSecondOfDay},
                        {QStringLiteral("consoleTimeMs"), t.consoleTimeMs},
                        {QStringLiteral("uploadMode"), int(t.uploadMode)},
                        {QStringLiteral("radius"), double(t.radius)},
                        {QStringLiteral("checksum"), hex16(t.checksum)},
                        {QStringLiteral("checksumOk"), check.checksumOk}};
    const qint64 now = nowMs();
    if (!check.ok || m_refuseUploads) {
        fields.insert(QStringLiteral("accepted"), false);
        fields.insert(QStringLiteral("reason"),
                      check.ok ? QStringLiteral("uploads refused (fault switch)") : check.reason);
        log(QStringLiteral("rx"), QStringLiteral("upload"), fields);
        m_core.receiveFailed();
        enqueue({Tx::Reply, -1, -1, {}, QStringLiteral("receive error")});
        return;
    }
    closeRequest(QStringLiteral("new upload"));
    const auto result = m_core.acceptUpload(t, now);
    fields.insert(QStringLiteral("accepted"), true);
    const qint64 dayMs = now - ControllerCore::dayStartMs(now);
    if (t.consoleTimeMs != 0)
        fields.insert(QStringLiteral("consoleClockAheadMs"), double(t.consoleTimeMs - dayMs));
    if (result == ControllerCore::UploadResult::TooLate) {
        fields.insert(QStringLiteral("outcome"), QStringLiteral("too late"));
        m_path = beam::TablePath();
    } else {
        fields.insert(QStringLiteral("outcome"), QStringLiteral("scheduled"));
        fields.insert(QStringLiteral("passStart"), isoUtc(m_core.passStartMs()));
        fields.insert(QStringLiteral("goingToStart"), isoUtc(m_core.goStartMs()));
        m_path = beam::TablePath(t.radii, t.angles, t.radius);
    }
    log(QStringLiteral("rx"), QStringLiteral("upload"), fields);
    resetPointing();
    enqueue({Tx::Reply, -1, -1, {}, QStringLiteral("upload")});
}

void Controller::handleCommand(qint32 code, qint16 arg, const QByteArray &bytes)
{
    QJsonObject fields {{QStringLiteral("hex"), simframes::toHex(bytes)},
                        {QStringLiteral("code"), code},
                        {QStringLiteral("name"), simframes::codeName(code)}};
    if (bytes.size() == 6)
        fields.insert(QStringLiteral("arg"), arg);
    log(QStringLiteral("rx"), QStringLiteral("command"), fields);
    using namespace simframes;
    switch (code) {
    case StatusRequest:
        enqueue({Tx::Reply, -1, -1, {}, QStringLiteral("status request")});
        return;
    case EnterUblox:
    case EnterProgramming:
        closeRequest(QStringLiteral("line handed over"));
        m_tx->clear();
        if (code == EnterProgramming) {
            restart(Mode::Programming, QStringLiteral("command 10: the boot loader answers until Go or reset"));
            return;
        }
        m_mode = Mode::Ublox;
        log(QStringLiteral("sim"), QStringLiteral("mode"),
            {{QStringLiteral("mode"), QStringLiteral("ublox")},
             {QStringLiteral("note"), QStringLiteral("line switched through to the GPS module; replies stop until reset")}});
        return;
    case GoToOrigin:
    case GoToCorrectedOrigin:
    case Cancel:
    case FlipTo180:
        closeRequest(QStringLiteral("pass ended by command"));
        m_path = beam::TablePath();
        resetPointing();
        break;
    default:
        break;
    }
    m_core.command(code, arg, nowMs());
    enqueue({Tx::Reply, -1, -1, {}, simframes::codeName(code)});
}

void Controller::handleAnswer(quint8 byte)
{
    const qint8 value = qint8(byte);
    QJsonObject fields {{QStringLiteral("hex"), simframes::toHex(QByteArray(1, char(byte)))},
                        {QStringLiteral("value"), int(value)},
                        {QStringLiteral("byte"), int(byte)},
                        {QStringLiteral("pointIndex"), m_pendingPoint},
                        {QStringLiteral("byte10"), int(m_pendingByte10)},
                        // from the request leaving to the answer's first byte
                        // arriving (the line's own time "t" comes after the
                        // reception's closing silence)
                        {QStringLiteral("latencyMs"), double(m_rxFirstMs - m_requestSentMs)}};
    // In the forward-back scan the console answers with flags, not offsets.
    if (byte == 0x40 || byte == 0x80) {
        fields.insert(QStringLiteral("flag"), byte == 0x40 ? QStringLiteral("forward") : QStringLiteral("back"));
        m_answerAcross = 0.0;
        m_answerAlong = byte == 0x40 ? m_options.fbStepMm : -m_options.fbStepMm;
    } else {
        m_answerAcross = value;
        m_answerAlong = 0.0;
    }
    m_answerPending = false;
    log(QStringLiteral("rx"), QStringLiteral("correction"), fields);
}

void Controller::closeRequest(const QString &why)
{
    if (!m_answerPending)
        return;
    m_answerPending = false;
    log(QStringLiteral("sim"), QStringLiteral("correction-missed"),
        {{QStringLiteral("pointIndex"), m_pendingPoint}, {QStringLiteral("why"), why}});
}

void Controller::resetPointing()
{
    m_answerAcross = 0.0;
    m_answerAlong = 0.0;
    m_lastReplyPoint = -1;
    m_lastReplyByte10 = 0;
}

// ---- the second timeline ---------------------------------------------------

void Controller::scheduleTick()
{
    const qint64 now = nowMs();
    qint64 next = (now / 1000 + 1) * 1000;
    // A timer that fires a little early must not give the same second twice.
    if (next <= m_nextTickMs)
        next = m_nextTickMs + 1000;
    m_nextTickMs = next;
    m_tickTimer->start(int(qMax<qint64>(0, m_nextTickMs + TickPhaseMs - now)));
}

void Controller::onTick()
{
    const qint64 tick = m_nextTickMs;
    scheduleTick();
    if (m_mode != Mode::Normal)
        return;
    // A request whose timer has not fired yet (late on a busy machine) still
    // belongs to the point that has just ended: it goes out before that reply.
    if (m_requestTimer->isActive()) {
        m_requestTimer->stop();
        onRequestDue();
    }
    const Snapshot s = m_core.at(tick);
    if (!s.tracking)
        closeRequest(QStringLiteral("point ended without an answer"));
    enqueue({Tx::Reply, tick, -1, {}, QStringLiteral("tick")});
    if (s.tracking) {
        m_requestPoint = s.pointIndex;
        m_requestDueMs = tick + RequestOffsetMs;
        m_requestTimer->start(int(qMax<qint64>(0, m_requestDueMs - nowMs())));
    } else {
        m_requestTimer->stop();
    }
}

void Controller::onRequestDue()
{
    if (m_mode != Mode::Normal)
        return;
    // Judged at the time it was due, not when a late timer got round to it.
    const Snapshot s = m_core.at(m_requestDueMs);
    if (!s.tracking || s.pointIndex != m_requestPoint)
        return;
    enqueue({Tx::Request, -1, m_requestPoint, {}, QStringLiteral("point")});
}

// ---- transmitting ----------------------------------------------------------

QByteArray Controller::render(const Tx &tx)
{
    QString suppressed;
    if (m_mode != Mode::Normal)
        suppressed = QStringLiteral("line handed over");
    else if (m_silentUntilMono > m_clock.elapsed())
        suppressed = QStringLiteral("silent (fault switch)");
    else if (!m_link->isOpen())
        suppressed = QStringLiteral("port dropped (fault switch)");

    QByteArray bytes;
    QString kind;
    QJsonObject fields;
    if (tx.kind == Tx::Reply) {
        const qint64 when = tx.logicalMs >= 0 ? tx.logicalMs : nowMs();
        if (!suppressed.isEmpty()) {
            log(QStringLiteral("sim"), QStringLiteral("suppressed"),
                {{QStringLiteral("what"), QStringLiteral("status")}, {QStringLiteral("why"), suppressed}});
            return {};
        }
        const simframes::StatusReply r = m_core.reply(when);
        const Snapshot s = m_core.at(when);
        bytes = simframes::buildStatusReply(r);
        kind = QStringLiteral("status");
        const qint8 byte10 = qint8(bytes[10]);
        fields = {{QStringLiteral("statusWord"), int(r.statusWord)},
                  {QStringLiteral("statusHex"), hex16(r.statusWord)},
                  {QStringLiteral("param"), double(r.param)},
                  {QStringLiteral("replyKind"), int(r.kind)},
                  {QStringLiteral("byte10"), int(byte10)},
                  {QStringLiteral("timeWord"), r.timeWord},
                  {QStringLiteral("why"), tx.why}};
        // The console keeps the point index and byte 10 only from tracking replies.
        if (s.tracking) {
            fields.insert(QStringLiteral("pointIndex"), s.pointIndex);
            m_lastReplyPoint = s.pointIndex;
            m_lastReplyByte10 = byte10;
        } else if (s.passLoaded) {
            fields.insert(QStringLiteral("countdown"), s.countdown);
        }
    } else if (tx.kind == Tx::Request) {
        if (!suppressed.isEmpty()) {
            log(QStringLiteral("sim"), QStringLiteral("suppressed"),
                {{QStringLiteral("what"), QStringLiteral("request")},
                 {QStringLiteral("pointIndex"), tx.pointIndex},
                 {QStringLiteral("why"), suppressed}});
            return {};
        }
        closeRequest(QStringLiteral("next point asked"));
        bytes = QByteArray(1, '\0');
        kind = QStringLiteral("request");
        m_answerPending = true;
        m_pendingPoint = tx.pointIndex;
        m_pendingByte10 = m_lastReplyByte10;
        m_requestSentMs = QDateTime::currentMSecsSinceEpoch();
        fields = {{QStringLiteral("pointIndex"), tx.pointIndex},
                  {QStringLiteral("byte10"), int(m_lastReplyByte10)},
                  {QStringLiteral("replyPointIndex"), m_lastReplyPoint}};
    } else {
        if (!suppressed.isEmpty()) {
            log(QStringLiteral("sim"), QStringLiteral("suppressed"),
                {{QStringLiteral("what"), QStringLiteral("garbage")}, {QStringLiteral("why"), suppressed}});
            return {};
        }
        bytes = tx.bytes;
        kind = QStringLiteral("garbage");
        fields = {{QStringLiteral("length"), int(bytes.size())}};
    }
    fields.insert(QStringLiteral("hex"), simframes::toHex(bytes));
    log(QStringLiteral("tx"), kind, fields);

    return bytes;
}

// ---- the demodulator's view ------------------------------------------------

Controller::Signal Controller::signalNow(qint64 now) const
{
    Signal sig;
    if (m_mode != Mode::Normal)
        return sig;
    const Snapshot s = m_core.at(now);
    if (!s.tracking || m_path.size() == 0)
        return sig;
    sig.present = true;
    sig.pointIndex = s.pointIndex;
    int index = -1;
    const beam::TablePath *truth = m_truth ? m_truth(now, &index) : nullptr;
    // The generated pass is the truth only when the table plainly follows it
    // (the console may have made its table from another track).
    const bool generated = truth && index >= 0 && index < truth->size()
                           && std::hypot(truth->point(index).x() - m_path.point(s.pointIndex).x(),
                                         truth->point(index).y() - m_path.point(s.pointIndex).y())
                                  < SameTrackMm;
    const beam::TablePath &truePath = generated ? *truth : m_path;
    const int trueIndex = generated ? index : s.pointIndex;
    const QPointF image = m_options.usePointingError
        ? beam::imageOf(m_options.pointingError, truePath.point(trueIndex))
        : beam::trueImage(truePath, trueIndex, m_options.trueAcrossMm, m_options.trueAlongMm);
    // The stored north correction turns the whole feed plane.
    const QPointF feed = beam::rotated(m_path.feedAt(s.pointIndex, m_answerAcross + s.ownOffset, m_answerAlong),
                                       m_core.northSteps() * beam::NorthStepDeg);
    sig.errorMm = std::hypot(feed.x() - image.x(), feed.y() - image.y());
    return sig;
}

QString Controller::describe() const
{
    const qint64 now = nowMs();
    const Snapshot s = m_core.at(now);
    QString mode = m_mode == Mode::Normal ? QStringLiteral("normal")
                   : m_mode == Mode::Ublox ? QStringLiteral("ublox")
                                           : QStringLiteral("programming");
    QString text = QStringLiteral("mode=%1 status=%2 port=%3").arg(mode, hex16(s.statusWord),
                                                                   m_link->isOpen() ? m_link->linkPath()
                                                                                    : QStringLiteral("dropped"));
    if (s.tracking)
        text += QStringLiteral(" point=%1 byte10=%2").arg(s.pointIndex).arg(int(s.ownOffset));
    else if (s.passLoaded)
        text += QStringLiteral(" countdown=%1").arg(s.countdown);
    if (m_core.hasPass())
        text += QStringLiteral(" passStart=%1 points=%2").arg(isoUtc(m_core.passStartMs())).arg(m_core.table().radii.size());
    text += QStringLiteral(" refuseUploads=%1").arg(m_refuseUploads ? QStringLiteral("on") : QStringLiteral("off"));
    text += QStringLiteral(" flashSwitch=%1").arg(m_flashSwitch ? QStringLiteral("on") : QStringLiteral("off"));
    return text;
}
