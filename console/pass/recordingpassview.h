#pragma once
#include "passview.h"

#include <QStringList>

// A PassView for tests: keeps every value written and lets the test set what the
// operator typed.
class RecordingPassView : public PassView
{
public:
    QString trackInfo;
    QString trackInfoStyle;
    int trackInfoResizes = 0;
    QString stopPoint;
    QString startRadiusAzim;
    QString stopRadiusAzim;
    QString minElevation;
    int goToGood = -1; // -1 never set, 0 bad, 1 good
    int uploadEnabled = -1;
    QPixmap lastPixmap;
    int pixmapShows = 0;

    QString trackInfoText() const override { return trackInfo; }
    void setTrackInfoText(const QString &text) override { trackInfo = text; }
    void setTrackInfoStyleSheet(const QString &s) override { trackInfoStyle = s; }
    void adjustTrackInfoSize() override { ++trackInfoResizes; }
    QString stopPointText() const override { return stopPoint; }
    void setStartRadiusAzimText(const QString &text) override { startRadiusAzim = text; }
    void setStopRadiusAzimText(const QString &text) override { stopRadiusAzim = text; }
    void setMinElevationText(const QString &text) override { minElevation = text; }
    void setGoToEditsLook(bool good) override { goToGood = good ? 1 : 0; }
    void setUploadButtonsEnabled(bool enabled) override { uploadEnabled = enabled ? 1 : 0; }
    void showSkyPixmap(const QPixmap &pixmap) override
    {
        lastPixmap = pixmap;
        ++pixmapShows;
    }
};
