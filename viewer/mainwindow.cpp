#include "mainwindow.h"

#include "dialogs.h"
#include "screenmetrics.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QWheelEvent>

#include <algorithm>

namespace {
const QColor Background(212, 208, 200);
const int FileListWidth = 300;
const char DataFolderName[] = "data";
}

MainWindow::MainWindow(QWidget *parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("TuVaRN Track Viewer. ver ") + QStringLiteral("1.27"));
    buildWidgets();
    installExportActions();

    m_fileDir.setFilter(QDir::Files);
    m_fileDir.setNameFilters({QStringLiteral("*.dat")});
    m_fileDir.setSorting(QDir::Time); // newest first

    m_dirWatcher = std::make_unique<QFileSystemWatcher>();
    connect(m_dirWatcher.get(), &QFileSystemWatcher::directoryChanged, this,
            &MainWindow::if_dir_changed);
    watchDataFolder();

    QMetaObject::connectSlotsByName(this);
    refreshFileList();
    loadRow(0);
}

MainWindow::~MainWindow()
{
    if (m_panelPainter)
        m_panelPainter->end();
}

void MainWindow::buildWidgets()
{
    const ScreenMetrics &screen = platform::screenMetrics();
    const int width = screen.available().width();
    const int height = std::max(1, screen.fullScreenClientHeight());
    m_panelWidth = std::max(1, width - FileListWidth);

    m_centralWidget = new QWidget(this);
    m_centralWidget->setObjectName(QStringLiteral("centralWidget"));
    setCentralWidget(m_centralWidget);
    auto *bar = new QMenuBar(this);
    bar->setObjectName(QStringLiteral("menuBar"));
    setMenuBar(bar);

    m_PPanel = new QLabel(m_centralWidget);
    m_PPanel->setObjectName(QStringLiteral("PPanel"));
    m_PPanel->setGeometry(0, 0, m_panelWidth, height);

    m_filelist = new QListWidget(m_centralWidget);
    m_filelist->setObjectName(QStringLiteral("filelist"));
    m_filelist->setGeometry(m_panelWidth, 0, FileListWidth, height);
    m_filelist->setSizeAdjustPolicy(QAbstractScrollArea::AdjustToContents);
    QPalette palette = m_filelist->palette();
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled})
        palette.setColor(group, QPalette::Base, Background);
    m_filelist->setPalette(palette);

    // Both texts lie on the plot panel, the pass summary uppermost.
    m_ConfigInfo = new QLabel(m_centralWidget);
    m_ConfigInfo->setObjectName(QStringLiteral("ConfigInfo"));
    m_ConfigInfo->setGeometry(m_panelWidth - 150, 10, 150, 100);
    m_TrackInfo = new QLabel(m_centralWidget);
    m_TrackInfo->setObjectName(QStringLiteral("TrackInfo"));
    m_TrackInfo->setGeometry(10, 10, 100, 100);

    m_plot.setPanelSize(m_panelWidth, height);

    m_panelPixmap = std::make_unique<QPixmap>(m_panelWidth, height);
    m_panelPainter = std::make_unique<QPainter>(m_panelPixmap.get());
    m_panelPainter->setBrush(QBrush(Background, Qt::SolidPattern));
    m_panelPainter->fillRect(m_panelPixmap->rect(), m_panelPainter->brush());
    m_panelPainter->setPen(QPen(QBrush(Qt::blue), 1, Qt::SolidLine));
    m_PPanel->setPixmap(*m_panelPixmap);
}

void MainWindow::watchDataFolder()
{
    if (m_dirWatcher->addPath(QLatin1String(DataFolderName))) {
        m_folderWaiter.reset();
        return;
    }
    if (m_folderWaiter)
        return;
    m_folderWaiter = std::make_unique<QFileSystemWatcher>(QStringList{QStringLiteral(".")});
    connect(m_folderWaiter.get(), &QFileSystemWatcher::directoryChanged, this, [this] {
        if (!QFileInfo(QLatin1String(DataFolderName)).isDir())
            return;
        // Not from within the signal of the watcher being dropped.
        QMetaObject::invokeMethod(this, [this] {
            if (m_dirWatcher && m_dirWatcher->directories().isEmpty()) {
                watchDataFolder();
                if_dir_changed();
            }
        }, Qt::QueuedConnection);
    });
}

void MainWindow::refreshFileList()
{
    m_fileDir.setPath(m_dataFolder);
    m_fileDir.refresh();
    m_suppressRowChange = true;
    m_filelist->clear();
    m_suppressRowChange = false;
    const QStringList names = m_fileDir.entryList();
    if (names.isEmpty()) {
        clearPanel();
        return;
    }
    m_filelist->addItems(names);
}

void MainWindow::if_dir_changed()
{
    // A removed "data" drops out of the watcher; wait for it to come back.
    if (m_dirWatcher && m_dirWatcher->directories().isEmpty())
        watchDataFolder();
    refreshFileList();
    m_filelist->repaint();
    loadRow(0);
}

void MainWindow::loadRow(int row)
{
    if (m_filelist->currentRow() == row)
        on_filelist_currentRowChanged(row);
    else
        m_filelist->setCurrentRow(row);
}

void MainWindow::on_filelist_currentRowChanged(int currentRow)
{
    if (m_suppressRowChange)
        return;
    const QListWidgetItem *item = m_filelist->item(currentRow);
    if (!item)
        return;
    const DataFileContent file = readDataFile(m_dataFolder + QLatin1Char('/') + item->text());
    if (file.textsRead)
        showTexts(file.configText, file.trackText);
    if (!file.error.isEmpty()) {
        showFileError(file.error);
        return;
    }
    const QString refused = m_data.load(file);
    if (!refused.isEmpty()) {
        showFileError(refused);
        return;
    }
    drawPlots();
}

void MainWindow::showTexts(const QString &configText, const QString &trackText)
{
    m_TrackInfo->setStyleSheet(QStringLiteral("color: Black"));
    m_TrackInfo->setText(trackText);
    m_TrackInfo->resize(m_TrackInfo->sizeHint());
    m_ConfigInfo->setStyleSheet(QStringLiteral("color: Black"));
    m_ConfigInfo->setText(configText);
    m_ConfigInfo->resize(m_ConfigInfo->sizeHint());
    // Keep it against the panel's right edge rather than under the file list.
    m_ConfigInfo->move(m_panelWidth - m_ConfigInfo->width(), 10);
}

void MainWindow::showFileError(const QString &message)
{
    clearPanel();
    m_TrackInfo->setText(QStringLiteral("Error in .dat file\n") + message);
    m_TrackInfo->setStyleSheet(QStringLiteral("color: Red"));
    m_TrackInfo->resize(m_TrackInfo->sizeHint());
}

void MainWindow::wheelEvent(QWheelEvent *event)
{
    const int count = m_filelist->count();
    if (count == 0)
        return;
    const int delta = event->angleDelta().y();
    const int sign = delta > 0 ? 1 : (delta < 0 ? -1 : 0);
    m_filelist->setCurrentRow(std::clamp(m_filelist->currentRow() + sign, 0, count - 1));
}

void MainWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() != Qt::Key_F3) {
        QMainWindow::keyPressEvent(event);
        return;
    }
    const QString chosen = platform::dialogs().openFile(
        QStringLiteral("Open Track"), m_dataFolder, QStringLiteral("Track Files (*.dat)"));
    if (chosen.isEmpty())
        return; // cancelled: keep the folder and the list
    const QFileInfo info(chosen);
    m_dataFolder = info.path();
    refreshFileList();
    loadRow(0); // the newest file of the folder, as after any refresh
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    m_data.viewFeedAngle.clear();
    m_data.viewFeedRadius.clear();
    m_data.rowCount = 0;
    if (m_panelPainter)
        m_panelPainter->end();
    m_panelPainter.reset();
    m_panelPixmap.reset();
    m_dirWatcher.reset();
    m_folderWaiter.reset();
    event->accept();
}
