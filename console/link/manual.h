#pragma once
#include <QDateTime>
#include <QString>
#include <QtGlobal>

struct StationSettingsRecord;

// Manual pointing and origin corrections: what the operator types into the
// correction fields, the reference azimuth from two points, and the record of
// a store in tuvarn.korr. The window's slots read widgets and call these.

inline constexpr double CorrectionStepDegrees = 0.1125; // 3200 steps per turn
inline constexpr double DegreesToRadians = 0.017453292519943295;
inline constexpr qint16 NoChangeArgument = 9999;
inline constexpr char NoChangeText[] = "No change";
inline constexpr char KorrFileName[] = "tuvarn.korr";

enum EditFlag : quint8 {
    FlagNorthCorr = 0x01,
    FlagParallCorr = 0x02,
    FlagAzimuth = 0x04,
    FlagLat1 = 0x10,
    FlagLat2 = 0x20,
    FlagLon1 = 0x40,
    FlagLon2 = 0x80,
};
inline constexpr quint8 CorrectionFlags = FlagNorthCorr | FlagParallCorr | FlagAzimuth;
inline constexpr quint8 ReferenceFlags = FlagLat1 | FlagLat2 | FlagLon1 | FlagLon2;

// The correction editing state; one per run, like the link state.
struct ManualState
{
    quint8 editFlags = 0;
    bool azimuthComputed = false; // the azimuth came from the reference points
    double lat1 = 0;              // reference points, radians
    double lat2 = 0;
    double lon1 = 0;
    double lon2 = 0;

    // Sets a flag; true when all three corrections are now accepted.
    bool accept(quint8 flag)
    {
        editFlags |= flag;
        return (editFlags & CorrectionFlags) == CorrectionFlags;
    }
    void refuse(quint8 flag) { editFlags &= quint8(~flag); }
    void reset() { *this = ManualState(); }
};


// A field read as a number (C locale, blanks around allowed). Infinities and
// NaN are not numbers an operator means.
bool readNumber(const QString &text, double *value);

// The degrees rounded to whole correction steps, halves upward. False when the
// steps, or the running total with them, do not fit the 16-bit wire field.
bool correctionSteps(double degrees, qint16 total, qint16 *steps);

// Degrees with 6 significant digits, as every correction field shows them.
QString degreesText(double degrees);

// An azimuth entry: "No change" keeps the controller's stored azimuth; a
// number must lie within one turn either way.
enum class AzimuthEntry { Invalid, NoChange, Value };
AzimuthEntry readAzimuth(const QString &text, double *degrees = nullptr);
// "(North)", "(East)", "(South)", "(West)" for exactly 0, 90, 180, 270.
QString azimuthName(double degrees);

// Azimuth in degrees [0, 360), clockwise from north, of point 2 seen from
// point 1 (radians); NaN when the points coincide or a latitude lies beyond
// a pole.
double referenceAzimuth(double lat1, double lon1, double lat2, double lon2);

// Argument of Store corrections: 9999 for exactly "No change", otherwise the
// azimuth x 10 truncated toward zero (0 for a text that is not a number).
qint16 storeArgument(const QString &azimuthText);
// One record of tuvarn.korr, every line begun with "\n".
QString korrRecord(const QDateTime &utc, const QString &parallText, const QString &northText,
                   const QString &azimuthText);
// Appends to the correction log in the working directory; false when it
// cannot be opened or written (the record is then lost).
bool appendKorrRecord(const QString &record, const QString &path = QLatin1String(KorrFileName));

// The three mutually exclusive correction modes; settings change in memory only.
enum class ScanChoice { ScanRL, ScanFB, Feedback };
void chooseScanMode(StationSettingsRecord &settings, ScanChoice choice, bool on);

// Forward and Back leave these words in the first word of txFrame and send
// nothing (ControllerLink::markCommandWord): every later frame overwrites them.
inline constexpr quint32 ForwardWord = 0xFF000001u;
inline constexpr quint32 BackWord = 0xFEFFFFFFu;

