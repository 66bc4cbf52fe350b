// The pass-planning buttons and the window's side of the pass planner.
#include "tuv.h"
#include "ui_tuv.h"

#include "passtiming.h"
#include "trackfile.h"
#include "upload.h"

#include <QApplication>
#include <QPalette>

void tuv::on_Open_clicked()
{
    pass::openTrackFromDialog(m_state.PassPlan, passEnv());
}

void tuv::on_UpLoad_clicked()
{
    pass::uploadScheduledPass(m_state.PassPlan, *m_link, passEnv());
}

void tuv::on_Immediat_clicked()
{
    pass::uploadImmediately(m_state.PassPlan, *m_link, passEnv(), QApplication::keyboardModifiers() == Qt::ShiftModifier);
}

void tuv::on_GoTo_clicked()
{
    pass::goToPosition(m_state.PassPlan, *m_link, passEnv(), ui->Azim->text(), ui->Elev->text(),
                          QApplication::keyboardModifiers() == Qt::ShiftModifier);
}

void tuv::on_Focus_returnPressed()
{
    pass::setFocusFromText(m_state.PassPlan, passEnv(), ui->Focus->text());
}

void tuv::on_korrEdit_returnPressed()
{
    pass::setKorrFromText(m_state.PassPlan, passEnv(), ui->korrEdit->text());
}

QString tuv::trackInfoText() const
{
    return ui->TrackInfo->text();
}

void tuv::setTrackInfoText(const QString &text)
{
    ui->TrackInfo->setText(text);
}

void tuv::setTrackInfoStyleSheet(const QString &styleSheet)
{
    ui->TrackInfo->setStyleSheet(styleSheet);
}

void tuv::adjustTrackInfoSize()
{
    ui->TrackInfo->resize(ui->TrackInfo->sizeHint());
}

QString tuv::stopPointText() const
{
    return ui->StopPoint->text();
}

void tuv::setStartRadiusAzimText(const QString &text)
{
    ui->StartRadiusAzim->setText(text);
    ui->StartRadiusAzim->adjustSize(); // word-wrapped, grows up to its maximum width
}

void tuv::setStopRadiusAzimText(const QString &text)
{
    ui->StopRadiusAzim->setText(text);
    ui->StopRadiusAzim->adjustSize();
}

void tuv::setMinElevationText(const QString &text)
{
    ui->label_3->setText(text);
}

void tuv::setGoToEditsLook(bool good)
{
    QPalette p = palette();
    p.setColor(QPalette::All, QPalette::Text, good ? Qt::black : Qt::blue);
    p.setColor(QPalette::All, QPalette::Base, good ? Qt::white : Qt::red);
    ui->Azim->setPalette(p);
    ui->Elev->setPalette(p);
}

void tuv::setUploadButtonsEnabled(bool enabled)
{
    ui->UpLoad->setEnabled(enabled);
    ui->Immediat->setEnabled(enabled);
}

void tuv::showSkyPixmap(const QPixmap &pixmap)
{
    ui->PaintPanel->setPixmap(pixmap);
}
