#pragma once
#include <QString>
#include <QTime>
#include <QtGlobal>

// GPS state, time and position as the controller reports them.

inline constexpr quint16 GpsStateMask = 0x3000;

// The time word split into hours, minutes and seconds of the UTC day. Time
// words outside one day (negative, or 86400 and above) are rejected.
struct GpsTime
{
    bool valid = false;
    int hours = 0;
    int minutes = 0;
    int seconds = 0;
};
GpsTime splitTimeWord(qint32 timeWord);

struct GpsLabel
{
    QString text;
    QString style;
};
// gpsLabel by bits 12-13 of the (already substituted) status word.
GpsLabel gpsLabelFor(quint16 statusWord);

// "hh:mm:ss" of the GPS time shifted by offsetHours, wrapping at midnight;
// empty for an invalid time.
QString localTimeText(const GpsTime &time, qint16 offsetHours);

// The signed shift, in whole seconds, that brings the PC's UTC time of day to
// the GPS time of day, wrapped into -12 h .. +12 h so that a difference across
// midnight moves the date too. Milliseconds do not count.
qint64 clockShiftSeconds(const QTime &pcUtc, const GpsTime &gps);

// Corrects the clock of platform::clock() by clockShiftSeconds when GPS time is
// good (0x3000), the correction is enabled and the shift is not 0; milliseconds
// stay. logLine: the correction with its size, or the system's refusal the
// first time it is given (once per change of reason, again after a success);
// lastRefusal keeps the reason last logged.
struct ClockCorrection
{
    bool attempted = false;
    bool set = false;
    qint64 shiftSeconds = 0;
    QString logLine;
};
ClockCorrection correctClock(quint16 statusWord, const GpsTime &time, bool timeCorrEnabled,
                             QString &lastRefusal);

// infoLabel text. position: service mode and a reply of kind 1 or 2 (the kept
// latitude and longitude are shown); startCountdown: track loaded, no error
// bits and the last upload was not a single point.
struct InfoLabelInput
{
    QString localTime;
    bool position = false;
    float latitude = 0;
    QString latHemisphere;
    float longitude = 0;
    QString lonHemisphere;
    bool startCountdown = false;
    qint32 secondsToStart = 0;
};
QString infoLabelText(const InfoLabelInput &in);

// Everything the GPS part of one status reply yields.
struct GpsUpdate
{
    GpsTime time;
    GpsLabel label;        // gpsLabel (then adjustSize)
    bool clockSet = false; // the PC clock was corrected
    QString clockLogLine;  // to the event log when not empty
    QString localTime;
    QString infoText;      // infoLabel
};
