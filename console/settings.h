#pragma once
#include <QString>
#include <QtGlobal>

// The station settings of tuvarn.ini, one record for the whole run. Fields are
// named by their keys.
struct StationSettingsRecord
{
    QString StationName;
    QString TrackPath;
    double Focus = 0;
    double Radius = 0;
    double HalfRadius = 0;
    qint32 Port = 0;
    qint32 TimeCorr = 0;
    qint8 MaxDeviation = 0;
    qint8 DeviationStep = 0;
    float DeviationPorog = 0;
    bool Demodulator = false;
    bool Feedback = false;
    bool ScanModeRL = false;
    bool ScanModeFB = false;
    double korr = 1.0;

    void reset() { *this = StationSettingsRecord(); }
};

// Key bits of the "seen" mask, in the order keys are tried on a line.
enum SettingsKeyBit : quint16 {
    KeyTrackPath = 0x0001,
    KeyFocus = 0x0002,
    KeyRadius = 0x0004,
    KeyPort = 0x0008,
    KeyTimeCorr = 0x0010,
    KeyMaxDeviation = 0x0020,
    KeyDeviationStep = 0x0040,
    KeyDeviationPorog = 0x0080,
    KeyDemodulator = 0x0100,
    KeyFeedback = 0x0200,
    KeyScanModeRL = 0x0400,
    KeyScanModeFB = 0x0800,
    Keykorr = 0x1000,
    AllKeys = 0x1FFF,
};

// Reads tuvarn.ini from the working directory into settings.
// 0 accepted; 1 unreadable, bad magic, Port outside 1..50 or a number that is
// not finite or out of range (Focus, Radius 0..1e7 mm; korr 0..100;
// DeviationPorog within +-1000); 2 no "StationName"
// line; 3 too short or keys missing; 4 the TrackPath folder does not exist
// (the "bad track path" box has been shown then).
quint8 loadSettings(StationSettingsRecord &settings);
// Same, on bytes already read (for tests and the loader itself).
quint8 loadSettingsFromBytes(StationSettingsRecord &settings, const QByteArray &bytes);
// Writes the example file tuvarn.xmp (29 lines, CR LF).
void writeExampleSettings();
QByteArray exampleSettingsText();
// The folder that must exist for a TrackPath ('/' separated here, '\\' on Windows).
QString trackDirectoryOf(const QString &trackPath);
