// Writes N synthetic passes as the station writes them: make-test-passes DIR N
// [--scan], the latter with sweeps across the track and a pointing model that
// is a little off, for the pointing page.
#include "synthpass.h"
#include "viewertestfiles.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>

#include <cmath>
#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int n = args.value(2).toInt();
    const bool scan = args.size() == 4 && args.at(3) == QLatin1String("--scan");
    if ((args.size() != 3 && !scan) || n < 1 || n > 100000) {
        std::fprintf(stderr, "usage: make-test-passes DATA-DIR COUNT [--scan]\n");
        return 1;
    }
    const QDateTime first(QDate(2026, 1, 1), QTime(0, 0), Qt::LocalTime);
    if (scan && !QDir().mkpath(args.at(1)))
        return 2;
    for (int k = 0; k < n && scan; ++k) {
        static const double Nearest[] = {30, 225, 110, 300, 70, 170};
        SynthOptions o;
        o.headingDeg = 20 + 47.0 * (k % 6) + k % 5;
        o.nearestMm = Nearest[k % 6];
        o.halfChordMm = std::sqrt(375.0 * 375.0 - o.nearestMm * o.nearestMm);
        o.seed = unsigned(k + 1);
        o.step = k % 9 == 8 ? 0 : 10; // now and then a pass without scan
        const QDateTime written = first.addSecs(qint64(k) * 8 * 3600); // three a day: weeks to show
        const QString name = QStringLiteral("SIMSAT-%1 (%2)_%3.dat").arg(k % 4 + 1).arg(1000 + k)
                                 .arg(written.toString(QStringLiteral("ddMMyy_hhmmss")));
        if (!writeSynthPass(args.at(1), name, o, {1.012, 0.3, 2.0, -1.5}))
            return 2;
    }
    for (int k = 0; k < n && !scan; ++k) {
        const int points = 20 + k % 30;
        QVector<TestPoint> pass;
        for (int i = 0; i < points; ++i) {
            const double t = double(i) / (points - 1);
            const double peak = 25.0 * std::exp(-std::pow((t - 0.5) * 4.0, 2.0));
            TestPoint p{-60.0 + 120.0 * t, 150.0 + 200.0 * std::fabs(t - 0.5), qint8(i % 5 - 2), qint8((i % 7) - 3), {}, {}};
            for (int m = 0; m < 10; ++m) {
                p.power.append(float(-100.0 + peak + 0.3 * std::sin(m + i + k)));
                p.snr.append(float(peak * 0.8 + 0.2 * std::cos(m * i)));
            }
            pass.append(p);
        }
        const QDateTime written = first.addSecs(qint64(k) * 5400);
        const QString sat = QStringLiteral("SIMSAT-%1").arg(k % 4 + 1);
        const QString title = QStringLiteral("TuVaRN data file\nConfiguration:\nver 3.818d\nStation name Test\n"
                                             "Radius 500\nFocus 1400\nKorr. koeff.=1\nTrackInfo:\n%1\nmax elevation 85.00; "
                                             "%2 actual points\nStart at %3")
                                  .arg(sat).arg(points + 2).arg(written.addSecs(-points).toString(QStringLiteral("dd.MM.yyyy  hh:mm:ss")));
        const QString name = QStringLiteral("%1 (%2)_%3.dat").arg(sat).arg(1000 + k).arg(written.toString(QStringLiteral("ddMMyy_hhmmss")));
        if (!writeTestFile(args.at(1), name, pass, -100.0f, title))
            return 2;
    }
    return 0;
}
