#pragma once
#include <QMainWindow>
#include <QString>

class QLabel;
class QTimer;
class QTcpSocket;
class QCloseEvent;
class rs;
class PassDataStore;

namespace Ui {
class tuv;
}

// The console's one window: owns the widgets, the controller port, the
// demodulator socket, the pass data store and the two timers; its slots are
// the program's event handlers.
class tuv : public QMainWindow
{
    Q_OBJECT

public:
    explicit tuv(QWidget *parent = nullptr);
    ~tuv() override;

    void logEvent(const QString &message);

signals:
    void send();
    void delalay();

private slots:
    void SenDat();
    void TimerUpdate();
    void TimerOk();
    void on_exit_clicked();
    void on_Open_clicked();
    void on_UpLoad_clicked();
    void on_Immediat_clicked();
    void FlashPrFinish(char err);
    void progress(QString m);
    void dalshe();
    void readdata();
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
    void writeBanner();
    void layOutPanels();

    Ui::tuv *ui;
    rs *m_rs = nullptr;
    QTcpSocket *m_socket = nullptr;
    PassDataStore *m_store = nullptr;
    QTimer *replyTimer = nullptr;
    QTimer *cycleTimer = nullptr;
    QLabel *settingsLabel = nullptr;
    QLabel *gpsLabel = nullptr;
    QLabel *infoLabel = nullptr;
    QLabel *stateLabel = nullptr;
    QLabel *linkLabel = nullptr;
    QLabel *LogView = nullptr;
    QString settingsSummary;
};
