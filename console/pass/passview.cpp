#include "passview.h"

namespace {
// Stands in before the window exists (and in tests that do not care).
class NullPassView : public PassView
{
public:
    QString trackInfoText() const override { return {}; }
    void setTrackInfoText(const QString &) override {}
    void setTrackInfoStyleSheet(const QString &) override {}
    void adjustTrackInfoSize() override {}
    QString stopPointText() const override { return {}; }
    void setStartRadiusAzimText(const QString &) override {}
    void setStopRadiusAzimText(const QString &) override {}
    void setMinElevationText(const QString &) override {}
    void setGoToEditsLook(bool) override {}
    void setUploadButtonsEnabled(bool) override {}
    void showSkyPixmap(const QPixmap &) override {}
};

NullPassView g_nullView;
PassView *g_view = &g_nullView;
}

namespace pass {
void setView(PassView *view) { g_view = view ? view : &g_nullView; }
PassView &view() { return *g_view; }
}
