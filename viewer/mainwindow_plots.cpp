// The plot panel of the window; the drawing itself is PassPlot's, shared with
// the picture export and track-report.
#include "mainwindow.h"

#include <QLabel>
#include <QPainter>
#include <QPixmap>

void MainWindow::paintClearedPanel()
{
    m_plot.clear(*m_panelPainter);
}

void MainWindow::clearPanel()
{
    if (!m_panelPainter)
        return;
    paintClearedPanel();
    m_PPanel->setPixmap(*m_panelPixmap);
}

void MainWindow::drawPlots()
{
    if (!m_panelPainter || m_data.rowCount == 0)
        return;
    m_plot.draw(*m_panelPainter, m_data);
    m_PPanel->setPixmap(*m_panelPixmap);
}

void MainWindow::markPosition(int i)
{
    m_plot.markPosition(m_data, i);
}

void MainWindow::drawPathPoint(int i)
{
    if (m_panelPainter)
        m_plot.drawPathPoint(*m_panelPainter, m_data, i);
}
