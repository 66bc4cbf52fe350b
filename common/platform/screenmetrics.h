#pragma once
#include <QSize>

// Screen sizes the windows are laid out from.
class ScreenMetrics
{
public:
    virtual ~ScreenMetrics() = default;
    // Available desktop area of the primary screen.
    virtual QSize available() const = 0;
    // Client height of a full-screen window.
    virtual int fullScreenClientHeight() const = 0;
};

class FixedScreenMetrics : public ScreenMetrics
{
public:
    FixedScreenMetrics(QSize available, int fullHeight) : m_available(available), m_full(fullHeight) {}
    QSize available() const override { return m_available; }
    int fullScreenClientHeight() const override { return m_full; }

private:
    QSize m_available;
    int m_full;
};

namespace platform {
const ScreenMetrics &screenMetrics();
void setScreenMetrics(const ScreenMetrics *m); // not owned; nullptr = the real screen
}
