// Not a test: the viewer's start-up and its answer to a new data file, timed
// from inside one process with the real window, for scripts/bench.py. The
// window is only looked at through its object tree (the item view that lists
// the files), so the probe holds however the list is built.
//   viewer-bench make DIR FILES   a data folder: FILES-1 small passes and, the
//                                 newest, one of 1000 points
//   viewer-bench run DIR          start the window in DIR, then drop a new file
//                                 in DIR/data; prints one JSON line
#include "mainwindow.h"
#include "viewertestfiles.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QtTest>
#include <cstdio>

namespace {

QVector<TestPoint> pass(int points)
{
    QVector<TestPoint> out;
    for (int i = 0; i < points; ++i) {
        TestPoint p{-60.0 + 120.0 * i / qMax(1, points - 1), 400.0 + (i % 300), qint8(i % 5 - 2), 0, {}, {}};
        for (int m = 0; m < 20; ++m) {
            p.power.append(float(-90 + 20 * std::sin(i * 0.01) + m * 0.1));
            p.snr.append(float(5 + (i + m) % 7));
        }
        out.append(p);
    }
    return out;
}

bool make(const QString &dir, int files)
{
    const QString data = dir + QStringLiteral("/data");
    if (!QDir().mkpath(data))
        return false;
    // One small pass written, the others copies of it.
    const QString small = dir + QStringLiteral("/small.part");
    if (!writeTestFile(dir, QStringLiteral("small.part"), pass(3), -95.0f))
        return false;
    const QDateTime now = QDateTime::currentDateTime();
    for (int i = 0; i < files; ++i) {
        const bool newest = i == files - 1;
        const QString name = QStringLiteral("SIM_%1.dat").arg(i, 5, 10, QLatin1Char('0'));
        const bool written = newest ? writeTestFile(data, name, pass(1000), -95.0f)
                                    : QFile::copy(small, data + QLatin1Char('/') + name);
        if (!written)
            return false;
        QFile f(data + QLatin1Char('/') + name);
        if (!f.open(QIODevice::Append)
            || !f.setFileTime(now.addSecs(i - files), QFileDevice::FileModificationTime))
            return false;
    }
    QFile::remove(small);
    return true;
}

bool listed(QAbstractItemView *view, const QString &name)
{
    QAbstractItemModel *model = view ? view->model() : nullptr;
    if (!model || model->rowCount() == 0)
        return false;
    return !model->match(model->index(0, 0), Qt::DisplayRole, name, 1, Qt::MatchContains).isEmpty();
}

} // namespace

int main(int argc, char *argv[])
{
    QElapsedTimer sinceMain;
    sinceMain.start();
    const QStringList args = [&] {
        QStringList a;
        for (int i = 0; i < argc; ++i)
            a << QString::fromLocal8Bit(argv[i]);
        return a;
    }();
    if (args.size() == 4 && args[1] == QLatin1String("make")) {
        QCoreApplication app(argc, argv);
        return make(args[2], args[3].toInt()) ? 0 : 1;
    }
    if (args.size() != 3 || args[1] != QLatin1String("run")) {
        std::fprintf(stderr, "usage: viewer-bench make DIR FILES | run DIR\n");
        return 2;
    }
    QApplication app(argc, argv);
    QDir::setCurrent(args[2]);
    const qint64 appMs = sinceMain.elapsed();

    QElapsedTimer clock;
    clock.start();
    MainWindow w;
    w.show();
    if (!QTest::qWaitForWindowExposed(&w, 10000))
        return 1;
    QCoreApplication::processEvents();
    const qint64 startMs = clock.elapsed();
    auto *view = w.findChild<QAbstractItemView *>();

    // A new pass written as the station writes it: whole, then renamed.
    QTest::qWait(300);
    const QString name = QStringLiteral("SIM_new_%1.dat").arg(QCoreApplication::applicationPid());
    if (!writeTestFile(QStringLiteral("data"), QStringLiteral("tmp.part"), pass(1000), -95.0f))
        return 1;
    clock.restart();
    QFile::rename(QStringLiteral("data/tmp.part"), QStringLiteral("data/") + name);
    qint64 appearMs = -1;
    while (clock.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        if (listed(view, name)) {
            appearMs = clock.elapsed();
            break;
        }
    }
    QFile::remove(QStringLiteral("data/") + name);
    QFile::remove(QStringLiteral("data/tmp.part.ai"));
    std::printf("{\"appMs\": %lld, \"startMs\": %lld, \"appearMs\": %lld}\n", appMs, startMs, appearMs);
    return appearMs < 0 ? 1 : 0;
}
