#include "acrosstrack.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>

namespace calibration {

namespace {

constexpr double Pi = 3.14159265358979323846;
// A point contributes when it stands this far above the noise (linear SNR);
// lower points carry mostly noise.
constexpr double MinLinearSnr = 0.5;
// A sweep must reach this high above the noise to count as signal.
constexpr double MinPeakDb = 6.0;
constexpr int MinSweepRows = 5;
constexpr int MinUsedPoints = 4;
// The file's angles carry a tenth of a degree, the controller's table a minute
// of arc: where the track runs nearly along the y axis, the normal's sign (its
// y part is never negative) flips from point to point and an offset may have
// gone either way. Such points are left out.
constexpr double MinNormalY = 0.1;
// Rows each side over which the track's direction is taken, to see through
// the rounding of the file's angles.
constexpr int DirectionSpan = 4;

struct Row
{
    double x = 0, y = 0;   // commanded point between the table points
    double nx = 0, ny = 0; // normal
    double offset = 0;     // feed offset across the track, mm
    double snr = 0;        // linear power above the noise
    double db = 0;         // power above the noise, dB
    bool ambiguous = false; // the normal's sign is not known
};

double mean(const QVector<float> &v)
{
    if (v.isEmpty())
        return 0;
    double sum = 0;
    for (float f : v)
        sum += f;
    return sum / v.size();
}

// The chord convention of the console: the normal of the chord from point a
// to point b, its y component never negative.
void chordNormal(double ax, double ay, double bx, double by, double *nx, double *ny)
{
    const double dx = ax - bx, dy = ay - by;
    const double len = std::hypot(dx, dy);
    if (!(len > 1e-9)) {
        *nx = *ny = 0;
        return;
    }
    double x = -dy / len, y = dx / len;
    if (y < 0 || (y == 0 && x < 0)) {
        x = -x;
        y = -y;
    }
    *nx = x;
    *ny = y;
}

double korrOf(const QString &configText)
{
    static const QRegularExpression re(QStringLiteral("Korr\\. koeff\\.=\\s*([-+0-9.eE]+)"));
    const QRegularExpressionMatch m = re.match(configText);
    bool ok = false;
    const double k = m.hasMatch() ? m.captured(1).toDouble(&ok) : 0;
    return ok && std::isfinite(k) && k > 0 ? k : 1.0;
}

// A Gaussian beam is a parabola in the logarithm of the linear SNR; weighted
// by the SNR squared so that the noisy tails count little.
bool fitPeak(const QVector<Row> &rows, int first, int count, SweepEstimate *out)
{
    double s[5] = {0, 0, 0, 0, 0}; // sums of w x^k
    double t[3] = {0, 0, 0};       // sums of w x^k ln y
    double lo = 1e9, hi = -1e9, best = -1e9;
    int used = 0;
    double wx = 0, wy = 0, wsum = 0;
    for (int i = first; i < first + count; ++i) {
        const Row &r = rows.at(i);
        best = std::max(best, r.db);
        if (r.snr < MinLinearSnr || r.ambiguous)
            continue;
        const double w = r.snr * r.snr;
        const double ly = std::log(r.snr);
        double xp = 1;
        for (int k = 0; k < 5; ++k) {
            s[k] += w * xp;
            if (k < 3)
                t[k] += w * xp * ly;
            xp *= r.offset;
        }
        lo = std::min(lo, r.offset);
        hi = std::max(hi, r.offset);
        wx += w * r.x;
        wy += w * r.y;
        wsum += w;
        ++used;
    }
    if (used < MinUsedPoints || best < MinPeakDb || !(hi > lo))
        return false;
    // Normal equations of ln y = c0 + c1 x + c2 x^2, solved by Cramer's rule.
    const double m[3][3] = {{s[0], s[1], s[2]}, {s[1], s[2], s[3]}, {s[2], s[3], s[4]}};
    const auto det3 = [](const double a[3][3]) {
        return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1])
             - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0])
             + a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    };
    const double d = det3(m);
    if (!(std::fabs(d) > 1e-12))
        return false;
    double c[3];
    for (int col = 0; col < 3; ++col) {
        double a[3][3];
        for (int r = 0; r < 3; ++r)
            for (int k = 0; k < 3; ++k)
                a[r][k] = k == col ? t[r] : m[r][k];
        c[col] = det3(a) / d;
    }
    if (!(c[2] < 0))
        return false; // no peak: the power falls to one side only
    const double peak = -c[1] / (2 * c[2]);
    if (peak < lo || peak > hi)
        return false; // the sweep did not reach across the peak
    out->acrossMm = peak;
    out->widthMm = std::sqrt(4 * std::log(2.0) / -c[2]);
    out->peakDb = best;
    out->xMm = wx / wsum;
    out->yMm = wy / wsum;
    const Row &mid = rows.at(first + count / 2);
    out->nx = mid.nx;
    out->ny = mid.ny;
    out->firstRow = first;
    out->rows = count;
    return true;
}

} // namespace

PassAcrossTrack estimateAcrossTrack(const DataFileContent &file)
{
    PassAcrossTrack pass;
    if (!file.error.isEmpty()) {
        pass.error = QStringLiteral("unreadable: ") + file.error;
        return pass;
    }
    pass.korr = korrOf(file.configText);
    const int n = file.rows.size();
    int distinct = 0;
    {
        QVector<int> korr;
        for (const DataFileRow &r : file.rows)
            korr.append(r.korr);
        std::sort(korr.begin(), korr.end());
        distinct = int(std::unique(korr.begin(), korr.end()) - korr.begin());
    }
    if (distinct < 3) {
        pass.error = QStringLiteral("no scan across the track");
        return pass;
    }
    if (n < MinSweepRows + 1) {
        pass.error = QStringLiteral("too few points: %1").arg(n);
        return pass;
    }

    // Row i's power with the offset sent at row i - 1, the feed between the two
    // table points and the board's own offset of both halves.
    QVector<double> px(n), py(n);
    for (int i = 0; i < n; ++i) {
        const DataFileRow &row = file.rows.at(i);
        const double fi = row.feedAngleDegrees * Pi / 180;
        px[i] = row.feedRadius * std::cos(fi);
        py[i] = row.feedRadius * std::sin(fi);
    }
    QVector<Row> rows;
    double powerSum = 0;
    for (int i = 1; i < n; ++i) {
        const DataFileRow &a = file.rows.at(i - 1);
        const DataFileRow &b = file.rows.at(i);
        Row r;
        r.x = (px[i - 1] + px[i]) / 2;
        r.y = (py[i - 1] + py[i]) / 2;
        const int from = std::max(0, i - 1 - DirectionSpan), to = std::min(n - 1, i + DirectionSpan);
        chordNormal(px[to], py[to], px[from], py[from], &r.nx, &r.ny);
        r.ambiguous = r.ny < MinNormalY;
        r.offset = qint8(a.korr) + (qint8(a.korr0) + qint8(b.korr0)) / 2.0;
        r.db = mean(file.powerLines.at(i)) - file.noise;
        r.snr = std::pow(10.0, r.db / 10.0) - 1.0;
        powerSum += r.db;
        rows.append(r);
    }
    pass.meanPowerDb = rows.isEmpty() ? 0 : powerSum / rows.size();

    // Sweeps: runs of one direction of the offset, short runs joined to the next.
    int start = 0;
    for (int i = 1; i <= rows.size(); ++i) {
        const bool end = i == rows.size();
        const bool turn = !end && i >= start + 2
            && (rows.at(i).offset - rows.at(i - 1).offset) * (rows.at(i - 1).offset - rows.at(i - 2).offset) < 0;
        if (!end && !(turn && i - start >= MinSweepRows))
            continue;
        const int count = i - start;
        if (count >= MinSweepRows) {
            ++pass.sweeps;
            SweepEstimate e;
            if (fitPeak(rows, start, count, &e))
                pass.found.append(e);
        }
        // A turning point belongs to both sweeps.
        start = end ? i : i - 1;
    }

    const int ambiguous = int(std::count_if(rows.begin(), rows.end(), [](const Row &r) { return r.ambiguous; }));
    if (pass.found.size() < MinSweepsPerPass && ambiguous > rows.size() / 2) {
        pass.error = QStringLiteral("the track runs along the y axis: which way across it is not known");
        return pass;
    }
    if (pass.found.size() < MinSweepsPerPass) {
        pass.error = QStringLiteral("too little signal: %1 of %2 sweeps found the peak")
                         .arg(pass.found.size()).arg(pass.sweeps);
        return pass;
    }
    double sum = 0, sq = 0;
    QVector<double> widths;
    for (const SweepEstimate &e : pass.found) {
        sum += e.acrossMm;
        widths.append(e.widthMm);
    }
    pass.meanMm = sum / pass.found.size();
    for (const SweepEstimate &e : pass.found)
        sq += (e.acrossMm - pass.meanMm) * (e.acrossMm - pass.meanMm);
    pass.spreadMm = std::sqrt(sq / (pass.found.size() - 1));
    std::nth_element(widths.begin(), widths.begin() + widths.size() / 2, widths.end());
    pass.widthMm = widths.at(widths.size() / 2);
    return pass;
}

PassAcrossTrack estimateAcrossTrackOfFile(const QString &path)
{
    return estimateAcrossTrack(readDataFile(path));
}

} // namespace calibration
