#pragma once
// What the window tests share: a scratch station folder as the current
// folder, a 1920x1040 desktop, the clock stopped at 07.12.2026 04:12:42 UTC,
// local time UTC, scripted prompts and no controller port.
#include "clock.h"
#include "dialogs.h"
#include "screenmetrics.h"
#include "settings.h"

#include <QPair>
#include <QTemporaryDir>
#include <QtTest>
#include <ctime>

// Loads the example settings with these values changed. Clock setting is
// always off: no test may set the machine's clock.
inline void loadExampleSettings(StationSettingsRecord &settings, const QList<QPair<QByteArray, QByteArray>> &changes)
{
    settings.reset();
    QByteArray text = exampleSettingsText();
    for (const auto &change : QList<QPair<QByteArray, QByteArray>>{{"TimeCorr", "disable"}} + changes) {
        const QByteArray key = change.first + "\r\n";
        QVERIFY2(text.contains(key), change.first.constData());
        const int at = text.indexOf(key) + key.size();
        text.replace(at, text.indexOf("\r\n", at) - at, change.second);
    }
    QCOMPARE(loadSettingsFromBytes(settings, text), quint8(0));
}

class WindowFixture
{
protected:
    QTemporaryDir m_dir;
    QString m_oldDir;
    FixedScreenMetrics m_screen{QSize(1920, 1040), 1080};
    FakeClock m_clock{QDateTime(QDate(2026, 12, 7), QTime(4, 12, 42), Qt::UTC)};
    ScriptedDialogs m_dialogs;
    // What the window under test is built with.
    StationSettingsRecord m_settings;
    bool m_serviceMode = false;

    template<typename T>
    static T *child(QWidget *w, const char *name)
    {
        T *c = w->findChild<T *>(QLatin1String(name));
        if (!c)
            qFatal("no widget %s", name);
        return c;
    }

    // From initTestCase().
    void setUpWindowTests()
    {
        m_oldDir = QDir::currentPath();
        QDir::setCurrent(m_dir.path());
        platform::setScreenMetrics(&m_screen);
        platform::setClock(&m_clock);
        platform::setDialogs(&m_dialogs);
        qputenv("TUVARN_PORT_DIR", m_dir.path().toUtf8()); // no controller here
        qputenv("TZ", "UTC");
        tzset();
    }
    // From cleanupTestCase().
    void tearDownWindowTests()
    {
        QDir::setCurrent(m_oldDir);
        platform::setScreenMetrics(nullptr);
        platform::setClock(nullptr);
        platform::setDialogs(nullptr);
    }
    // From cleanup(): every prompt was one the test expected.
    void checkPrompts() const
    {
        QVERIFY2(m_dialogs.unexpected().isEmpty(), qPrintable(m_dialogs.unexpected().join('|')));
    }
};
