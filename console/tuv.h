#pragma once
#include "consolestate.h"
#include "passenv.h"
#include "passview.h"
#include "pendingdatafiles.h"
#include "reception.h"

#include <QFile>
#include <QMainWindow>
#include <QString>
#include <QTextStream>

class QLabel;
class ControllerLink;
class ControllerTransport;
namespace platform { class Timer; }
class QCloseEvent;
class rs;
class PassDataStore;
class DemodLink;
class SkyPanel;
class StationExtras;
class PassJournal;

namespace Ui {
class tuv;
}

// The console's one window: owns the widgets, the controller port, the
// demodulator socket, the pass data store and the two timers; its slots are
// the program's event handlers.
class tuv : public QMainWindow, public PassView
{
    Q_OBJECT

public:
    // The settings as loaded from tuvarn.ini; serviceMode from the command line.
    // Without a transport the window opens the serial port COM<Port>; tests
    // hand in one of their own (not owned).
    tuv(const StationSettingsRecord &settings, bool serviceMode, ControllerTransport *transport = nullptr,
        QWidget *parent = nullptr);
    ~tuv() override;

    void logEvent(const QString &message);

    ConsoleState &state() { return m_state; }
    ControllerLink &link() { return *m_link; }

signals:
    void send();
    void delalay();

private slots:
    void SenDat();
    void TimerUpdate();
    void on_exit_clicked();
    void on_Open_clicked();
    void on_UpLoad_clicked();
    void on_Immediat_clicked();
    void FlashPrFinish(char err);
    void progress(QString m);
    void dalshe();
    void on_GoToOrig_clicked();
    void on_GoToCorr_clicked();
    void on_SaveOrig_clicked();
    void on_NorthCorr_returnPressed();
    void on_ParallCorr_returnPressed();
    void on_NorthCorr_cursorPositionChanged(int arg1, int arg2);
    void on_ParallCorr_cursorPositionChanged(int arg1, int arg2);
    void on_GoTo_clicked();
    void on_Focus_returnPressed();
    void on_ublox_clicked();
    void on_Cancel_clicked();
    void on_goto180_clicked();
    void on_FlashProg_clicked();
    void on_Azimuth_returnPressed();
    void readTcpData();
    void on_Lat1_cursorPositionChanged(int arg1, int arg2);
    void on_Lat1_returnPressed();
    void on_Lat2_returnPressed();
    void on_Lon1_returnPressed();
    void on_Lon2_returnPressed();
    void on_Lon1_cursorPositionChanged(int arg1, int arg2);
    void on_Lat2_cursorPositionChanged(int arg1, int arg2);
    void on_Lon2_cursorPositionChanged(int arg1, int arg2);
    void on_ScanMode_clicked();
    void on_Feedback_clicked();
    void on_korrEdit_returnPressed();
    void on_Forward_clicked();
    void on_Back_clicked();
    void on_Left_clicked();
    void on_Right_clicked();
    void on_ScanModeFB_clicked();
    QString LogfilenamePrepare();
    QString LogfileTitlePrepare();
    void on_aboutQt_clicked();
    void on_about_clicked();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    // What the pass planner shows through the window.
    QString trackInfoText() const override;
    void setTrackInfoText(const QString &text) override;
    void setTrackInfoStyleSheet(const QString &styleSheet) override;
    void adjustTrackInfoSize() override;
    QString stopPointText() const override;
    void setStartRadiusAzimText(const QString &text) override;
    void setStopRadiusAzimText(const QString &text) override;
    void setMinElevationText(const QString &text) override;
    void setGoToEditsLook(bool good) override;
    void setUploadButtonsEnabled(bool enabled) override;
    void showSkyPixmap(const QPixmap &pixmap) override;

    void writeBanner();
    void settleModeSwitches();
    void checkDemodulator();
    void superviseLinkStep();
    int uploadAutomatically(); // an UploadAttempt
    PassEnv passEnv();
    void received(const ParsedReception &reception);
    void answerCorrection();
    void showStatus(const StatusUpdate &update);
    void writePassDataFile();
    void retryPendingDataFiles();
    void givePendingDataFilesUp();
    void recoverInterruptedPass();
    QString passDataFileTitle();

    ConsoleState m_state;
    Ui::tuv *ui;
    // The event log: opened only in operator mode, for the whole run.
    QFile m_logFile;
    QTextStream m_logStream;
    rs *m_rs = nullptr; // the serial port (owned by the link), unless a transport was handed in
    ControllerLink *m_link = nullptr;
    PassDataStore *m_store = nullptr;
    PendingDataFiles m_pendingDataFiles;
    platform::Timer *cycleTimer = nullptr;
    QLabel *settingsLabel = nullptr;
    QLabel *gpsLabel = nullptr;
    QLabel *infoLabel = nullptr;
    QLabel *stateLabel = nullptr;
    QLabel *linkLabel = nullptr;
    QLabel *LogView = nullptr;
    DemodLink *m_demod = nullptr;
    SkyPanel *m_sky = nullptr;
    StationExtras *m_extras = nullptr; // only what extras.ini turns on
    PassJournal *m_journal = nullptr;  // the open pass, safe from a power cut
    QString settingsSummary;
};
