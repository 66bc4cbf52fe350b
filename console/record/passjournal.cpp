#include "passjournal.h"

#include "datafilenaming.h"

#include <QFileInfo>
#include <QList>

#include <cerrno>
#include <cstring>
#include <type_traits>
#if defined(Q_OS_UNIX)
#include <unistd.h>
#endif

namespace {

constexpr char Magic[] = "TUVJ1";
// A journal is a pass of at most a few thousand points: anything larger is not one.
constexpr qint64 MaxJournalSize = 256 * 1024 * 1024;
constexpr quint32 MaxDepth = 1u << 16;
const QString TimeFormat = QStringLiteral("yyyy-MM-ddTHH:mm:ss");

// Floating-point values travel as the hex of their bits, so they come back exact.
template <typename T>
using BitsOf = std::conditional_t<sizeof(T) == 4, quint32, quint64>;

template <typename T>
QByteArray bitsHex(T v)
{
    BitsOf<T> bits;
    std::memcpy(&bits, &v, sizeof bits);
    return QByteArray::number(bits, 16);
}

template <typename T>
bool parseBits(const QByteArray &text, T *out)
{
    bool ok = false;
    const quint64 wide = text.toULongLong(&ok, 16);
    const BitsOf<T> bits = BitsOf<T>(wide);
    // A number wider than the value is not what was written.
    ok = ok && wide == bits;
    if (ok)
        std::memcpy(out, &bits, sizeof bits);
    return ok;
}

QByteArray text(const QString &s)
{
    return s.toUtf8().toPercentEncoding();
}

QString untext(const QByteArray &s)
{
    return QString::fromUtf8(QByteArray::fromPercentEncoding(s));
}

template <typename Container>
QByteArray hexList(const Container &values)
{
    QByteArrayList out;
    for (const auto v : values)
        out << bitsHex(v);
    return out.join(',');
}

template <typename Container>
bool parseHexList(const QByteArray &field, Container *out)
{
    out->clear();
    if (field.isEmpty())
        return true;
    for (const QByteArray &item : field.split(',')) {
        typename Container::value_type v;
        if (!parseBits(item, &v))
            return false;
        out->push_back(v);
    }
    return true;
}

QByteArray sealed(const QByteArray &body)
{
    const quint16 sum = qChecksum(body.constData(), uint(body.size()));
    return body + '*' + QByteArray::number(sum, 16).rightJustified(4, '0') + '\n';
}

// The body of a whole line whose checksum holds, or false.
bool unseal(const QByteArray &line, QByteArray *body)
{
    const int star = line.lastIndexOf('*');
    if (star < 0 || line.size() - star != 5)
        return false;
    bool ok = false;
    const uint sum = line.mid(star + 1).toUInt(&ok, 16);
    *body = line.left(star);
    return ok && sum == qChecksum(body->constData(), uint(body->size()));
}

bool parseInt(const QByteArray &field, qint32 *out)
{
    bool ok = false;
    *out = field.toInt(&ok);
    return ok;
}

bool parsePoint(const QList<QByteArray> &f, PassDataStore::RecordedPoint *p, QDateTime *local)
{
    if (f.size() != 13)
        return false;
    bool ok = false;
    p->samples = f[7].toUInt(&ok);
    const uint err = ok ? f[10].toUInt(&ok) : 0;
    *local = QDateTime::fromString(QString::fromLatin1(f[2]), TimeFormat);
    return ok && err <= 255 && local->isValid() && parseInt(f[3], &p->korr0) && parseInt(f[4], &p->korr)
        && parseInt(f[5], &p->step) && parseInt(f[6], &p->x) && parseBits(f[8], &p->meanPower)
        && parseBits(f[9], &p->meanSnr) && (p->errCount = quint8(err), true)
        && parseHexList(f[11], &p->power) && parseHexList(f[12], &p->snr)
        && p->power.size() == p->snr.size() && p->power.size() == p->samples;
}

} // namespace

PassJournal::PassJournal(Log log, const QString &path) : m_log(std::move(log)), m_path(path) {}

void PassJournal::begin(const JournalPass &pass, float noiseLevel, const QString &title)
{
    m_file.close();
    m_keptFor.clear();
    m_file.setFileName(m_path);
    if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        append({}, false); // reports the reason
        return;
    }
    m_title = title;
    append(QByteArray(Magic) + '\t' + text(pass.satellite) + '\t' + text(pass.orbit), false);
    append("R\t" + hexList(pass.feedRadius), false);
    append("A\t" + hexList(pass.feedAngle), false);
    append("Z\t" + hexList(pass.azimuth), false);
    append("E\t" + hexList(pass.elevation), false);
    append("N\t" + bitsHex(noiseLevel), false);
    append("T\t" + text(title), true);
}

void PassJournal::noiseLevel(float level)
{
    if (isOpen())
        append("N\t" + bitsHex(level), true);
}

void PassJournal::cleared()
{
    if (isOpen())
        append("C", true);
}

void PassJournal::point(const PassDataStore &store, quint32 index, const QString &title,
                        const QDateTime &local)
{
    if (!isOpen())
        return;
    if (title != m_title) {
        m_title = title;
        append("T\t" + text(title), false);
    }
    const PassDataStore::RecordedPoint p = store.recordedPoint(index);
    QByteArrayList f{"P",
                     QByteArray::number(index),
                     local.toString(TimeFormat).toLatin1(),
                     QByteArray::number(p.korr0),
                     QByteArray::number(p.korr),
                     QByteArray::number(p.step),
                     QByteArray::number(p.x),
                     QByteArray::number(p.samples),
                     bitsHex(p.meanPower),
                     bitsHex(p.meanSnr),
                     QByteArray::number(p.errCount),
                     hexList(p.power),
                     hexList(p.snr)};
    append(f.join('\t'), true);
}

void PassJournal::finished(const QString &keptFileName)
{
    if (keptFileName.isEmpty() || !isOpen()) {
        remove();
        return;
    }
    append("F\t" + text(keptFileName), true);
    m_file.close();
    m_keptFor = keptFileName;
}

void PassJournal::written(const QString &fileName)
{
    if (!m_keptFor.isEmpty() && QFileInfo(fileName).fileName() == m_keptFor)
        remove();
}

void PassJournal::remove()
{
    m_file.close();
    m_keptFor.clear();
    QFile file(m_path);
    if (file.exists() && !file.remove())
        m_log(QStringLiteral("pass journal not removed: %1: %2").arg(m_path, file.errorString()));
}

void PassJournal::append(const QByteArray &body, bool sync)
{
    QString error;
    if (!m_file.isOpen()) {
        error = QStringLiteral("cannot write %1: %2").arg(m_path, m_file.errorString());
    } else {
        const QByteArray line = sealed(body);
        if (m_file.write(line) != line.size() || !m_file.flush())
            error = QStringLiteral("cannot write %1: %2").arg(m_path, m_file.errorString());
#if defined(Q_OS_UNIX)
        // Past the page cache: a power cut must not take the point with it.
        else if (sync && ::fdatasync(m_file.handle()) != 0)
            error = QStringLiteral("cannot write %1: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(errno)));
#endif
    }
    if (error != m_lastError && !error.isEmpty())
        m_log(QStringLiteral("pass journal not written: ") + error);
    m_lastError = error;
}

JournalContents readPassJournal(const QByteArray &bytes)
{
    JournalContents c;
    QList<QByteArray> lines = bytes.split('\n');
    // The part after the last newline is a record cut short (or nothing).
    if (!lines.last().isEmpty())
        c.damaged = true;
    lines.removeLast();
    std::vector<PassDataStore::RecordedPoint> points;
    for (int n = 0; n < lines.size(); ++n) {
        QByteArray body;
        if (!unseal(lines.at(n), &body)) {
            c.damaged = true;
            break;
        }
        const QList<QByteArray> f = body.split('\t');
        const QByteArray kind = f.first();
        bool ok = true;
        if (n == 0) {
            if (kind != Magic || f.size() != 3) {
                c.reason = QStringLiteral("not a pass journal");
                return c;
            }
            c.pass.satellite = untext(f[1]);
            c.pass.orbit = untext(f[2]);
            c.readable = true;
            continue;
        }
        if (kind == "R" && f.size() == 2) {
            ok = parseHexList(f[1], &c.pass.feedRadius);
        } else if (kind == "A" && f.size() == 2) {
            ok = parseHexList(f[1], &c.pass.feedAngle);
        } else if (kind == "Z" && f.size() == 2) {
            ok = parseHexList(f[1], &c.pass.azimuth);
        } else if (kind == "E" && f.size() == 2) {
            ok = parseHexList(f[1], &c.pass.elevation);
        } else if (kind == "N" && f.size() == 2) {
            ok = parseBits(f[1], &c.noiseLevel);
        } else if (kind == "T" && f.size() == 2) {
            c.title = untext(f[1]);
        } else if (kind == "C" && f.size() == 1) {
            c.points.clear();
        } else if (kind == "F" && f.size() == 2) {
            c.finishName = untext(f[1]);
        } else if (kind == "P") {
            PassDataStore::RecordedPoint p;
            QDateTime local;
            ok = parsePoint(f, &p, &local) && f[1].toULongLong() == c.points.size();
            if (ok) {
                c.depth = std::max(c.depth, quint32(p.power.size()));
                c.points.push_back(std::move(p));
                c.lastLocal = local;
            }
        } else {
            ok = false;
        }
        if (!ok) {
            c.damaged = true;
            break;
        }
    }
    if (!c.readable && c.reason.isEmpty())
        c.reason = QStringLiteral("its first record is damaged");
    return c;
}

JournalRecovery recoverPassJournal(const QString &journalPath, const QString &dataFolder,
                                   const PassJournal::Log &log)
{
    JournalRecovery r;
    QFile file(journalPath);
    if (!file.exists())
        return r;
    r.found = true;
    QString reason;
    QByteArray bytes;
    if (!QFileInfo(journalPath).isFile())
        reason = QStringLiteral("not a regular file");
    else if (file.size() > MaxJournalSize)
        reason = QStringLiteral("larger than %1 bytes").arg(MaxJournalSize);
    else if (!file.open(QIODevice::ReadOnly))
        reason = file.errorString();
    else
        bytes = file.read(MaxJournalSize);
    file.close();
    if (reason.isEmpty() && bytes.isEmpty()) {
        // The power went between creating it and its first record.
        file.remove();
        log(QStringLiteral("pass journal without recorded points removed"));
        return r;
    }
    JournalContents c;
    if (reason.isEmpty()) {
        c = readPassJournal(bytes);
        reason = c.reason;
    }
    if (!reason.isEmpty()) {
        // Kept for a person to look at, out of the way of the next start.
        const QString aside = journalPath + QStringLiteral(".damaged");
        QFile::remove(aside);
        QFile::rename(journalPath, aside);
        log(QStringLiteral("pass journal not recovered: %1: %2").arg(journalPath, reason));
        return r;
    }
    if (c.points.empty() && c.finishName.isEmpty()) {
        QFile::remove(journalPath);
        log(QStringLiteral("pass journal without recorded points removed"));
        return r;
    }

    PassDataStore store;
    if (c.depth > MaxDepth
        || store.allocate(quint32(std::max<size_t>(c.points.size(), 1)), std::max(c.depth, 1u)) != 0) {
        log(QStringLiteral("pass journal not recovered: %1: too large").arg(journalPath));
        return r;
    }
    store.start();
    store.setNoiseLevel(c.noiseLevel);
    for (const PassDataStore::RecordedPoint &p : c.points)
        store.restorePoint(p);
    const QString name = !c.finishName.isEmpty() ? c.finishName
                                                 : dataFileName(c.pass.satellite, c.pass.orbit, c.lastLocal);
    QString error;
    r.points = int(c.points.size());
    r.fileName = name;
    if (store.writeDataFile(dataFolder, name, c.title, c.pass.feedRadius, c.pass.feedAngle, c.pass.azimuth,
                            c.pass.elevation, &error)
        != PassDataStore::WriteOk) {
        log(QStringLiteral("data file not written: ") + error);
        r.dataText = store.dataFileText(c.title, c.pass.feedRadius, c.pass.feedAngle);
        r.companionText = store.companionFileText(c.pass.azimuth, c.pass.elevation);
        return r;
    }
    r.written = true;
    log(QStringLiteral("pass recovered after restart: %1 points").arg(r.points));
    if (!file.remove())
        log(QStringLiteral("pass journal not removed: %1: %2").arg(journalPath, file.errorString()));
    return r;
}
