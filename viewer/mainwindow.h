#pragma once
#include "datafilereader.h"
#include "passplot.h"

#include <QDir>
#include <QMainWindow>
#include <QPen>
#include <QString>

#include <memory>

class QCloseEvent;
class QFileSystemWatcher;
class QKeyEvent;
class QLabel;
class QListWidget;
class QPainter;
class QPixmap;
class QWheelEvent;

// The viewer's one window: the list of data files on the right, the plots of
// the chosen file on the left.
class MainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit MainWindow(QWidget *parent = nullptr);
    ~MainWindow() override;

    QString dataFolder() const { return m_dataFolder; }
    const ViewerData &data() const { return m_data; }
    int plotWidth() const { return m_plot.plotWidth(); }
    int plotHeight() const { return m_plot.plotHeight(); }
    double skyDiameter() const { return m_plot.skyDiameter(); }
    double skyScale() const { return m_plot.skyScale(); }
    int skyCentreX() const { return m_plot.skyCentreX(); }
    int skyCentreY() const { return m_plot.skyCentreY(); }
    float markAngle() const { return m_plot.markAngle(); }
    float markRadius() const { return m_plot.markRadius(); }

    void refreshFileList();
    void clearPanel();
    void showFileError(const QString &message);
    void drawPlots();
    void markPosition(int i);
    void drawPathPoint(int i);

    // Export of the chosen pass; an empty result or the reason it failed.
    enum ExportKind { ExportPicture, ExportCsv };
    QString exportChosenTo(ExportKind kind, const QString &target);

private slots:
    void on_filelist_currentRowChanged(int currentRow);
    void if_dir_changed();

protected:
    void wheelEvent(QWheelEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void closeEvent(QCloseEvent *event) override;

private:
    void buildWidgets();
    void watchDataFolder();
    // Selects the row and loads its file even when it already is the current row.
    void loadRow(int row);
    void showTexts(const QString &configText, const QString &trackText);
    void paintClearedPanel();
    void installExportActions();
    void exportChosen(ExportKind kind);
    QString chosenFilePath() const;

    QWidget *m_centralWidget = nullptr;
    QListWidget *m_filelist = nullptr;
    QLabel *m_PPanel = nullptr;
    QLabel *m_TrackInfo = nullptr;
    QLabel *m_ConfigInfo = nullptr;

    std::unique_ptr<QPixmap> m_panelPixmap;
    std::unique_ptr<QPainter> m_panelPainter;
    std::unique_ptr<QFileSystemWatcher> m_dirWatcher;
    // Watches the working directory while "data" does not exist, so the list
    // fills once the folder is created.
    std::unique_ptr<QFileSystemWatcher> m_folderWaiter;
    QDir m_fileDir;
    QString m_dataFolder = QStringLiteral("data");
    bool m_suppressRowChange = false;

    int m_panelWidth = 0;
    PassPlot m_plot;

    ViewerData m_data;
};
