#include "tuv.h"
#include "ui_tuv.h"

#include "appstate.h"
#include "clock.h"
#include "controllerlink.h"
#include "timers.h"
#include "correction.h"
#include "demodlink.h"
#include "dialogs.h"
#include "eventlog.h"
#include "eventsink.h"
#include "flashworkflow.h"
#include "gps.h"
#include "frames.h"
#include "linkstate.h"
#include "manual.h"
#include "passdatastore.h"
#include "passplan.h"
#include "passview.h"
#include "pointing.h"
#include "rs.h"
#include "screenmetrics.h"
#include "settings.h"
#include "skypanel.h"
#include "passjournal.h"
#include "stationextras.h"
#include "trackfile.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextStream>
#include <QTimer>

namespace {
constexpr int LogPaneLimit = 10000;
constexpr int LogPaneCut = 1000;
}

tuv::tuv(const StationSettingsRecord &settings, bool serviceMode, ControllerTransport *transport,
         QWidget *parent)
    : QMainWindow(parent), ui(new Ui::tuv), m_logFile(QStringLiteral("tuvarn.log")), m_logStream(&m_logFile)
{
    m_state.StationSettings = settings;
    m_state.serviceMode = serviceMode;

    ui->setupUi(this);
    setWindowTitle(QStringLiteral("TuVaRN Antenna ver. ") + QLatin1String(ConsoleVersion));
    setWindowState(windowState() | Qt::WindowFullScreen);

    eventsink::set([this](const QString &message) { logEvent(message); });
    pass::setView(this);

    m_state.utcOffsetHours = computeUtcOffsetHours(platform::nowLocal());
    m_link = new ControllerLink(m_state.linkState, m_state.txFrame, m_state.txBytes, m_state.lastUploadBytes, this);
    if (!transport) {
        // The link owns the serial port it opens.
        transport = m_rs = new rs(18, quint16(m_state.StationSettings.Port));
        m_rs->setParent(m_link);
    }
    m_link->setTransport(transport);
    m_link->setReplyContext(m_state.serviceMode, m_state.StationSettings.TimeCorr != 0, m_state.utcOffsetHours);
    connect(m_link, &ControllerLink::receptionBegan, this, [this] { cycleTimer->start(100); });
    connect(m_link, &ControllerLink::received, this, &tuv::received);
    settingsSummary = QStringLiteral(" Focus ") + QString::number(m_state.StationSettings.Focus, 'g', 6)
                      + QStringLiteral("mm, Time zone ") + QString::number(m_state.utcOffsetHours);
    if (m_state.StationSettings.TimeCorr)
        settingsSummary += QStringLiteral(",  GPS time corr.");

    ui->korrEdit->hide();
    ui->TrackKorr->hide();
    ui->korrEdit->setText(QString::number(m_state.StationSettings.korr, 'g', 6));

    m_store = new PassDataStore;
    m_store->allocate(1000, 20);

    const QSize screen = platform::screenMetrics().available();
    const int W = screen.width();
    const int H = screen.height();

    settingsLabel = new QLabel(this);
    gpsLabel = new QLabel(this);
    infoLabel = new QLabel(this);
    stateLabel = new QLabel(this);
    linkLabel = new QLabel(this);
    infoLabel->setFixedWidth(200);
    linkLabel->setFixedWidth(200);
    stateLabel->setFixedWidth(300);
    linkLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);

    settleModeSwitches();

    m_demod = new DemodLink(this);
    connect(m_demod, &DemodLink::dataReady, this, &tuv::readTcpData);
    checkDemodulator();

    ui->Focus->setText(QString::number(m_state.StationSettings.Focus, 'g', 6));
    ui->label_3->setText(minElevationText(m_state.StationSettings));
    m_state.PassPlan.startMode = 0;

    const int barHeight = statusBar()->sizeHint().height();
    const int panelX = static_cast<int>(W * 0.75);
    const int panelW = static_cast<int>(W * 0.25);
    ui->panelka->setGeometry(panelX, 0, panelW, H - 2 * barHeight);
    ui->panelka->hide();
    ui->LogscrollArea->hide();
    LogView = new QLabel;
    LogView->setWordWrap(true);
    LogView->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    LogView->setIndent(2);
    LogView->setGeometry(ui->panelka->geometry());
    ui->LogscrollArea->setGeometry(ui->panelka->geometry());
    LogView->setMargin(5);
    ui->LogscrollArea->setWidget(LogView);
    connect(ui->LogscrollArea->verticalScrollBar(), &QScrollBar::rangeChanged, this,
            [this](int, int max) { ui->LogscrollArea->verticalScrollBar()->setValue(max); });
    ui->RealTime->setGeometry(ui->panelka->x() - 100, 40, 100, 35);

    ui->Forward->hide();
    ui->Back->hide();
    ui->Left->hide();
    ui->Right->hide();

    QString logFileError;
    if (m_state.serviceMode) {
        ui->LogscrollArea->hide();
        ui->panelka->setFrameShape(QFrame::NoFrame);
        ui->panelka->show();
    } else {
        ui->LogscrollArea->show();
        if (!m_logFile.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
            logFileError = m_logFile.errorString();
        writeBanner();
    }

    statusBar()->setStyleSheet(QStringLiteral("QStatusBar { border: 1px solid gray; border-radius: 3px; }"));
    statusBar()->setFixedWidth(W);
    ui->TrackInfo->move(10, 10);
    statusBar()->addWidget(settingsLabel, 0);
    statusBar()->addWidget(gpsLabel, 0);
    statusBar()->addWidget(infoLabel, 0);
    statusBar()->addWidget(stateLabel, 0);
    statusBar()->addPermanentWidget(linkLabel, 0);
    if (!logFileError.isEmpty()) {
        // Unattended, the log is the station's record: its loss must be seen.
        const QString text = QStringLiteral("tuvarn.log not opened: ") + logFileError;
        auto *logFailLabel = new QLabel(text, statusBar());
        logFailLabel->setStyleSheet(QString::fromLatin1(StyleRed));
        statusBar()->addPermanentWidget(logFailLabel, 0);
        logEvent(text);
    }

    ui->FlashProg->setStyleSheet(QStringLiteral("color: Red"));
    ui->ublox->setStyleSheet(QStringLiteral("color: Red"));
    ui->exit->setStyleSheet(QStringLiteral("color: Red"));

    ui->PaintPanel->setGeometry(0, 0, W - ui->panelka->width(), H - barHeight);
    m_sky = new SkyPanel(ui->PaintPanel->size(), m_state.PassPlan, m_state.StationSettings, m_state.SkyDraw);
    setSkyPanel(m_sky);
    m_sky->show();

    settingsLabel->setStyleSheet(QStringLiteral("color: Black"));

    m_state.linkState.cycleTicks = 10;
    cycleTimer = platform::newTimer(this);
    connect(cycleTimer, &platform::Timer::timeout, this, &tuv::TimerUpdate);
    cycleTimer->start(100);

    connect(this, &tuv::send, this, &tuv::SenDat);

    ui->NorthCorr->setEnabled(false);
    ui->ParallCorr->setEnabled(false);
    ui->Azimuth->setEnabled(false);
    ui->Lat1->setEnabled(false);
    ui->Lat2->setEnabled(false);
    ui->Lon1->setEnabled(false);
    ui->Lon2->setEnabled(false);
    ui->SaveOrig->setEnabled(false);
    ui->UpLoad->setEnabled(false);
    ui->Immediat->setEnabled(false);

    ui->ProgProgress->setGeometry(ui->PaintPanel->width() / 2 - 50, ui->PaintPanel->height() / 2, 100, 50);
    ui->ProgProgress->setStyleSheet(QStringLiteral("color: Red"));
    ui->ProgProgress->hide();
    ui->Azimuth->setText(QStringLiteral("No change"));
    ui->vexa41->setGeometry(ui->PaintPanel->width() - 170, 10, 150, 10);
    m_state.linkState.statusWord = 0;
    ui->about->hide();

    if (QFile::exists(QLatin1String(ExtrasFileName)))
        m_extras = new StationExtras(loadExtrasSettings(), [this](const QString &m) { logEvent(m); }, m_store,
                                     m_state.PassPlan, *m_link, m_state.StationSettings.StationName,
                                     m_state.serviceMode);
    recoverInterruptedPass();

    if (!m_state.serviceMode)
        autoLoadTrack(m_state.PassPlan, passEnv());
}

PassEnv tuv::passEnv()
{
    return {m_state.StationSettings, m_state.SkyDraw, m_state.serviceMode, m_state.utcOffsetHours};
}

void tuv::settleModeSwitches()
{
    StationSettingsRecord &s = m_state.StationSettings;
    ui->Feedback->setEnabled(s.Demodulator);
    s.Feedback = s.Feedback && s.Demodulator;
    if (s.ScanModeRL) {
        s.ScanModeFB = false;
        s.Feedback = false;
    } else if (s.ScanModeFB) {
        s.Feedback = false;
    }
    ui->Feedback->setChecked(s.Feedback);
    ui->ScanMode->setChecked(s.ScanModeRL);
    ui->ScanModeFB->setChecked(s.ScanModeFB);
}

tuv::~tuv()
{
    if (m_extras)
        m_extras->shutdown();
    if (m_logFile.isOpen()) {
        givePendingDataFilesUp();
        logEvent(QStringLiteral("The end\r\n"));
        m_logFile.close();
    }
    delete m_extras;
    m_extras = nullptr;
    delete m_journal; // an open journal stays on disk for the next start
    eventsink::set(nullptr);
    pass::setView(nullptr);
    delete settingsLabel;
    delete gpsLabel;
    delete infoLabel;
    delete stateLabel;
    delete linkLabel;
    setSkyPanel(nullptr);
    delete m_sky;
    delete cycleTimer;
    cycleTimer = nullptr;
    releaseFlashRun(m_state.flashWorkflow); // restores the port's parity while the port still exists
    delete m_link; // and the serial port with it
    m_link = nullptr;
    m_rs = nullptr;
    m_store->release();
    delete m_store;
    delete ui;
}

void tuv::writeBanner()
{
    const StationSettingsRecord &s = m_state.StationSettings;
    m_logStream << "\r\n***********";
    logEvent(QStringLiteral("*** TuVaRN log started ***"));
    m_logStream << "\r\n===" << "\r\nTuVaRN ini file loaded:"
              << "\r\n\r\n StationName " << s.StationName
              << "\r\n TrackPath " << s.TrackPath
              << "\r\n Focus " << QString::number(s.Focus, 'g', 6)
              << "\r\n Radius " << QString::number(s.Radius, 'g', 6)
              << "\r\n Port " << QString::number(static_cast<quint32>(s.Port))
              << "\r\n TimeCorr " << (s.TimeCorr ? "enable" : "disable")
              << "\r\n===";
}

void tuv::logEvent(const QString &message)
{
    if (m_state.serviceMode)
        return;
    // The marker follows the GPS bits of the latest status reply.
    const QString entry = logEntryPrefix(lastReplyStatusWord(m_state.linkState), platform::nowUtc()) + message;
    if (m_extras)
        m_extras->logged(message);
    if (m_logFile.isOpen()) {
        m_logStream << entry;
        m_logStream.flush();
    }
    QString pane = LogView->text() + entry;
    if (pane.size() > LogPaneLimit)
        pane.remove(0, LogPaneCut);
    LogView->setText(pane);
    QScrollBar *bar = ui->LogscrollArea->verticalScrollBar();
    bar->setValue(bar->maximum());
}

void tuv::closeEvent(QCloseEvent *event)
{
    event->accept();
    QCoreApplication::quit();
}

void tuv::on_exit_clicked()
{
    QCoreApplication::quit();
}

void tuv::on_aboutQt_clicked()
{
    QMessageBox::aboutQt(centralWidget(), QString());
}

void tuv::on_about_clicked()
{
    platform::dialogs().information(QStringLiteral("prg"));
}
