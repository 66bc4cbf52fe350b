#pragma once
#include "passdatastore.h"

#include <QByteArray>
#include <QString>
#include <QVector>

// The messages shown after "Error in .dat file\n", in the order they are found.
namespace datafileerror {
constexpr const char NotOpened[] = "not opened";
constexpr const char TitleBad[] = "title bad";
constexpr const char FileBad[] = "file bad";
constexpr const char NoNoiseLevel[] = "no noise level";
constexpr const char ZeroTrack[] = "zero track";
constexpr const char RealSectionBad[] = "real section is bad";
constexpr const char PowerCount[] = "power data!=mean data";
constexpr const char PowerSectionBad[] = "power section is bad";
constexpr const char SnrCount[] = "snr data!=mean data";
constexpr const char SnrSectionBad[] = "snr section is bad";
}

// The table header line as the station writes it (without its line ends).
constexpr const char DataFileTableHeader[] =
    " Fi       R     Korr    Korr0     P      SNR     N      X      step    err";

// One table row, the four columns the viewer uses.
struct DataFileRow
{
    float feedAngleDegrees = 0;
    float feedRadius = 0;
    int korr = 0;
    int korr0 = 0;
};

// A data file read and checked, not yet loaded.
struct DataFileContent
{
    QString error; // empty when the file passed every check
    // The table header was found: the two texts belong to this file and are shown
    // even when a later check fails.
    bool textsRead = false;
    QString configText; // configuration lines, each followed by "\n"
    QString trackText;  // pass summary lines, each followed by "\n"
    float radius = 0;   // 0 when the file names none
    float focus = 0;
    float noise = 0;
    QVector<DataFileRow> rows;
    QVector<QVector<float>> powerLines; // one per row, samples paired by position
    QVector<QVector<float>> snrLines;
    quint32 maxSamples = 0; // most samples on one power line
};

// Files larger than this are refused ("file bad") instead of being read whole;
// the station writes well under a megabyte per pass.
constexpr qint64 MaxDataFileBytes = 64 * 1024 * 1024;
// The row count is a 16-bit number; more rows than this are refused.
constexpr int MaxDataFileRows = 0xFFFF;
// The store is rows x the longest sample line. A pass recorded by the console
// holds at most 1000 points of 20 samples; this allows a hundred times that
// (any 16-bit row count with 32 samples a line, 8 MiB per sample array) and
// refuses a file asking for more ("file bad"), however few samples it holds.
constexpr quint64 MaxViewerSampleSlots = quint64(1) << 21;

DataFileContent readDataFile(const QString &path);
// The checks on text already read (line ends already LF).
DataFileContent parseDataFile(const QByteArray &bytes);

// What the plots draw: the loaded file, its store and the plot ranges.
struct ViewerData
{
    // Loads a checked file. Returns an empty string, or an error message and
    // changes nothing (the previous file stays loaded). The previous store is
    // freed before the new one is built; should that allocation still fail,
    // nothing is loaded afterwards.
    QString load(const DataFileContent &file);

    PassDataStore store;
    QString configText;
    QString trackText;
    float viewRadius = 0;
    float viewFocus = 0;
    float viewNoise = 0;
    quint16 rowCount = 0;
    QVector<float> viewFeedAngle; // radians
    QVector<float> viewFeedRadius;
    qint16 korr0Min = 1000;
    qint16 korr0Max = -1000;
    float powerMin = 1000;
    float powerMax = -1000;
    // Never reset: starts at 0..0 and every file can only widen it.
    float snrMin = 0;
    float snrMax = 0;
    float powerThreshold = 0;
    float viewColourScale = 0;
};
