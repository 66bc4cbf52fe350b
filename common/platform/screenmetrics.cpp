#include "screenmetrics.h"

#include <QGuiApplication>
#include <QScreen>

namespace {
class QtScreenMetrics : public ScreenMetrics
{
public:
    QSize available() const override
    {
        const QScreen *s = QGuiApplication::primaryScreen();
        return s ? s->availableGeometry().size() : QSize(1024, 768);
    }
    int fullScreenClientHeight() const override
    {
        const QScreen *s = QGuiApplication::primaryScreen();
        return s ? s->geometry().height() : 768;
    }
};
QtScreenMetrics g_real;
const ScreenMetrics *g_metrics = &g_real;
}

namespace platform {
const ScreenMetrics &screenMetrics() { return *g_metrics; }
void setScreenMetrics(const ScreenMetrics *m) { g_metrics = m ? m : &g_real; }
}
