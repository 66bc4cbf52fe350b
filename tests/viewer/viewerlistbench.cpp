// Measures the viewer's file list: start-up on a folder of many data files to
// the first drawn pass, and the time from a new file's arrival to its being
// listed on top and drawn. Not a test; prints one line per figure.
//
//   viewer-list-bench [files=10000] [points=1000] [arrivals=9]
#include "mainwindow.h"
#include "screenmetrics.h"
#include "viewertestfiles.h"

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QListWidget>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

QVector<TestPoint> passOf(int points)
{
    QVector<TestPoint> out;
    for (int i = 0; i < points; ++i) {
        TestPoint p{double(i % 360), 500.0 + i % 700, qint8(i % 5 - 2), qint8(i % 7 - 3), {}, {}};
        for (int m = 0; m < 20; ++m) {
            p.power.append(-90.0f + float((i + m) % 30));
            p.snr.append(float((i * m) % 15));
        }
        out.append(p);
    }
    return out;
}

bool setAge(const QString &path, const QDateTime &when)
{
    QFile f(path);
    return f.open(QIODevice::Append) && f.setFileTime(when, QFileDevice::FileModificationTime);
}

QByteArray readAndRemove(const QString &path)
{
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    const QByteArray out = f.readAll();
    f.close();
    f.remove();
    return out;
}

double median(QVector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v.at(v.size() / 2);
}

// Runs the event loop until `done` holds, checking after every pass of events.
double waitMs(const std::function<bool()> &done, int limitMs = 10000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < limitMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
    return t.nsecsElapsed() / 1e6;
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QElapsedTimer appTimer;
    appTimer.start();
    QApplication app(argc, argv);
    const double appMs = appTimer.nsecsElapsed() / 1e6;
    const QStringList args = app.arguments();
    const int files = args.size() > 1 ? args.at(1).toInt() : 10000;
    const int points = args.size() > 2 ? args.at(2).toInt() : 1000;
    const int arrivals = args.size() > 3 ? args.at(3).toInt() : 9;

    FixedScreenMetrics screen{QSize(1920, 1040), 1080};
    platform::setScreenMetrics(&screen);

    QTemporaryDir dir;
    QDir::setCurrent(dir.path());
    if (!writeTestFile(QStringLiteral("data"), QStringLiteral("model.dat"), passOf(points), -95.5f))
        return 1;
    if (!writeTestFile(QStringLiteral("data"), QStringLiteral("small.dat"), passOf(3), -95.5f))
        return 1;
    // The newest file, the one drawn, is a whole pass; the others are short.
    const QByteArray bytes = readAndRemove(QStringLiteral("data/model.dat"));
    const QByteArray small = readAndRemove(QStringLiteral("data/small.dat"));
    const QDateTime base = QDateTime::currentDateTimeUtc().addDays(-30);
    for (int i = 0; i < files; ++i) {
        const QString path = QStringLiteral("data/pass%1.dat").arg(i, 5, 10, QLatin1Char('0'));
        QFile f(path);
        const QByteArray &content = i == files - 1 ? bytes : small;
        if (!f.open(QIODevice::WriteOnly) || f.write(content) != content.size())
            return 1;
        f.close();
        // Some share a second, as passes written in one burst would.
        setAge(path, base.addSecs(i - i % 3).addMSecs((i * 7919) % 1000));
    }
    std::printf("files %d, points in the drawn file %d (%d bytes)\n", files, points, int(bytes.size()));
    std::printf("application object: %.1f ms\n", appMs);

    QElapsedTimer t;
    t.start();
    MainWindow window;
    window.show();
    QCoreApplication::processEvents();
    const double startMs = t.nsecsElapsed() / 1e6;
    auto *list = window.findChild<QListWidget *>(QStringLiteral("filelist"));
    std::printf("start-up to first drawn pass: %.1f ms (rows %d, rows drawn %d)\n", startMs,
                list->count(), window.data().rowCount);

    QVector<double> arrivalMs, listedMs;
    for (int k = 0; k < arrivals; ++k) {
        const QString name = QStringLiteral("new%1.dat").arg(k);
        const int before = list->count();
        QSaveFile f(QStringLiteral("data/") + name);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
        waitMs([] { return false; }, 50); // let the temporary file's events pass
        double listed = -1;
        const auto watch = QObject::connect(list->model(), &QAbstractItemModel::rowsInserted, [&] {
            if (listed < 0 && list->item(0)->text() == name)
                listed = t.nsecsElapsed() / 1e6;
        });
        t.restart();
        f.commit();
        const double ms = waitMs([&] {
            return list->count() == before + 1 && list->item(0)->text() == name
                   && list->currentRow() == 0;
        });
        QObject::disconnect(watch);
        arrivalMs.append(ms);
        listedMs.append(listed);
        waitMs([] { return false; }, 100);
    }
    if (!arrivalMs.isEmpty()) {
        std::printf("new file listed on top: median %.1f ms, max %.1f ms\n", median(listedMs),
                    *std::max_element(listedMs.begin(), listedMs.end()));
        std::printf("new file listed on top and drawn: median %.1f ms, max %.1f ms (%d arrivals)\n",
                    median(arrivalMs), *std::max_element(arrivalMs.begin(), arrivalMs.end()),
                    int(arrivalMs.size()));
    }
    return 0;
}
