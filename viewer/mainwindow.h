#pragma once
#include "datafilereader.h"
#include "passlist.h"

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
class QTimer;
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
    int plotWidth() const { return m_plotWidth; }
    int plotHeight() const { return m_plotHeight; }
    double skyDiameter() const { return m_skyDiameter; }
    double skyScale() const { return m_skyScale; }
    int skyCentreX() const { return m_skyCentreX; }
    int skyCentreY() const { return m_skyCentreY; }
    float markAngle() const { return m_markAngle; }
    float markRadius() const { return m_markRadius; }

    void refreshFileList();
    // Brings the list up to date with what changed in the folder.
    void updateFileList();
    // Reads every file's time again and moves what changed in place.
    void recheckFileList();
    void clearPanel();
    void showFileError(const QString &message);
    void drawPlots();
    void markPosition(int i);
    void drawPathPoint(int i);

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
    void applyListEdits(const QVector<PassList::Edit> &edits);
    // Selects the row and loads its file even when it already is the current row.
    void loadRow(int row);
    void showTexts(const QString &configText, const QString &trackText);
    void paintClearedPanel();
    QPointF skyPoint(double angle, double radius) const;

    QWidget *m_centralWidget = nullptr;
    QListWidget *m_filelist = nullptr;
    QLabel *m_PPanel = nullptr;
    QLabel *m_TrackInfo = nullptr;
    QLabel *m_ConfigInfo = nullptr;

    std::unique_ptr<QPixmap> m_panelPixmap;
    std::unique_ptr<QPainter> m_panelPainter;
    QPen m_samplePen;
    std::unique_ptr<QFileSystemWatcher> m_dirWatcher;
    // Watches the working directory while "data" does not exist, so the list
    // fills once the folder is created.
    std::unique_ptr<QFileSystemWatcher> m_folderWaiter;
    PassList m_fileList;
    QTimer *m_recheckTimer = nullptr;
    QString m_dataFolder = QStringLiteral("data");
    bool m_suppressRowChange = false;

    int m_panelWidth = 0;
    int m_plotWidth = 0;
    int m_plotHeight = 0;
    double m_skyDiameter = 0;
    double m_skyScale = 0;
    int m_skyCentreX = 0;
    int m_skyCentreY = 0;
    float m_markAngle = 0;
    float m_markRadius = 0;

    ViewerData m_data;
};
