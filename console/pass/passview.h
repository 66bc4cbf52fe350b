#pragma once
#include <QPixmap>
#include <QString>

// What the pass-planning core needs from the main window. The core never touches
// widgets; the window implements this and installs it with pass::setView.
class PassView
{
public:
    virtual ~PassView() = default;

    // TrackInfo: the pass summary label.
    virtual QString trackInfoText() const = 0;
    virtual void setTrackInfoText(const QString &text) = 0;
    virtual void setTrackInfoStyleSheet(const QString &styleSheet) = 0;
    virtual void adjustTrackInfoSize() = 0; // resize to its size hint

    // StopPoint line edit.
    virtual QString stopPointText() const = 0;

    // StartRadiusAzim / StopRadiusAzim labels.
    virtual void setStartRadiusAzimText(const QString &text) = 0;
    virtual void setStopRadiusAzimText(const QString &text) = 0;

    // label_3 beside the Focus edit ("mm (min elev.= 70.3)").
    virtual void setMinElevationText(const QString &text) = 0;

    // Azim and Elev edits: good = black text on white, bad = blue text on red.
    virtual void setGoToEditsLook(bool good) = 0;

    // UpLoad and Immediat buttons together.
    virtual void setUploadButtonsEnabled(bool enabled) = 0;

    // Show the sky panel pixmap in PaintPanel.
    virtual void showSkyPixmap(const QPixmap &pixmap) = 0;
};

namespace pass {
// Installs the view (not owned); nullptr installs a view that does nothing.
void setView(PassView *view);
PassView &view();
}
