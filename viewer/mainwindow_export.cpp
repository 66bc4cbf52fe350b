// Export of the chosen pass: its picture (PNG) and its rows (CSV), drawn and
// written by the same code as track-report's pages.
#include "mainwindow.h"

#include "dialogs.h"
#include "passcsv.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPixmap>
#include <QSaveFile>

void MainWindow::installExportActions()
{
    // Keys and the plot panel's context menu; the window's look is unchanged.
    auto *picture = new QAction(QStringLiteral("Export picture..."), this);
    picture->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(picture, &QAction::triggered, this, [this] { exportChosen(ExportPicture); });
    auto *csv = new QAction(QStringLiteral("Export CSV..."), this);
    csv->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    connect(csv, &QAction::triggered, this, [this] { exportChosen(ExportCsv); });
    for (QAction *a : {picture, csv}) {
        a->setShortcutContext(Qt::WindowShortcut);
        addAction(a);
        m_PPanel->addAction(a);
    }
    m_PPanel->setContextMenuPolicy(Qt::ActionsContextMenu);
}

QString MainWindow::chosenFilePath() const
{
    const QListWidgetItem *item = m_filelist->currentItem();
    return item ? m_dataFolder + QLatin1Char('/') + item->text() : QString();
}

QString MainWindow::exportChosenTo(ExportKind kind, const QString &target)
{
    const QString source = chosenFilePath();
    if (source.isEmpty())
        return QStringLiteral("no file chosen");
    const DataFileContent file = readDataFile(source);
    if (!file.error.isEmpty())
        return QStringLiteral("Error in .dat file\n") + file.error;
    // The SNR range as on screen, so the picture is the one shown.
    ViewerData d;
    d.snrMin = m_data.snrMin;
    d.snrMax = m_data.snrMax;
    const QString refused = d.load(file);
    if (!refused.isEmpty())
        return QStringLiteral("Error in .dat file\n") + refused;

    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return QStringLiteral("not written: ") + out.errorString();
    if (kind == ExportPicture) {
        const QSize size = m_panelPixmap ? m_panelPixmap->size() : m_PPanel->size();
        if (!renderPassImage(d, size).save(&out, "PNG")) {
            out.cancelWriting();
            return QStringLiteral("not written: ") + out.errorString();
        }
    } else {
        out.write(passCsv(d, readPassTrack(source, d.trackText)));
    }
    if (!out.commit())
        return QStringLiteral("not written: ") + out.errorString();
    return {};
}

void MainWindow::exportChosen(ExportKind kind)
{
    const QString source = chosenFilePath();
    if (source.isEmpty())
        return;
    const bool picture = kind == ExportPicture;
    const QString suggested = QFileInfo(source).completeBaseName() + (picture ? QStringLiteral(".png") : QStringLiteral(".csv"));
    const QString target = platform::dialogs().saveFile(
        picture ? QStringLiteral("Export picture") : QStringLiteral("Export CSV"), suggested,
        picture ? QStringLiteral("Pictures (*.png)") : QStringLiteral("CSV files (*.csv)"));
    if (target.isEmpty())
        return;
    const QString failure = exportChosenTo(kind, target);
    if (!failure.isEmpty())
        platform::dialogs().message(failure);
}
