// Manual pointing, origin corrections, correction modes and the u-blox
// pass-through: the window's side of the manual core.
#include "tuv.h"
#include "ui_tuv.h"

#include "correction.h"
#include "frames.h"
#include "linkstate.h"
#include "manual.h"
#include "rs.h"
#include "statusreply.h"
#include "clock.h"
#include "dialogs.h"
#include "settings.h"

#include <QCoreApplication>
#include <QLineEdit>
#include <QPalette>
#include <cmath>

namespace {
enum class Look { Normal, Accepted, Stored };

void setLook(QLineEdit *edit, Look look)
{
    QPalette p = edit->palette();
    QColor text = Qt::black;
    QColor base = Qt::white;
    if (look == Look::Accepted) {
        text = Qt::red;
        base = Qt::yellow;
    } else if (look == Look::Stored) {
        base = Qt::lightGray;
    }
    p.setColor(QPalette::All, QPalette::Text, text);
    p.setColor(QPalette::All, QPalette::Base, base);
    edit->setPalette(p);
}

QList<QLineEdit *> correctionFields(Ui::tuv *ui)
{
    return {ui->NorthCorr, ui->ParallCorr, ui->Azimuth, ui->Lat1, ui->Lat2, ui->Lon1, ui->Lon2};
}

// Back from a store or a fresh start: the fields open again, nothing accepted.
void reopenFields(Ui::tuv *ui)
{
    for (QLineEdit *edit : correctionFields(ui))
        edit->setEnabled(true);
    manualState.editFlags = 0;
    ui->SaveOrig->setEnabled(false);
    ui->NorthCorr->setText(QStringLiteral("0"));
    ui->ParallCorr->setText(QStringLiteral("0"));
}

void normalLooks(Ui::tuv *ui)
{
    for (QLineEdit *edit : correctionFields(ui))
        setLook(edit, Look::Normal);
}

void refuse(Ui::tuv *ui, QLineEdit *edit, quint8 flag)
{
    manualState.refuse(flag);
    ui->SaveOrig->setEnabled(false);
    setLook(edit, Look::Normal);
}

void accept(Ui::tuv *ui, QLineEdit *edit, quint8 flag)
{
    setLook(edit, Look::Accepted);
    if (manualState.accept(flag))
        ui->SaveOrig->setEnabled(true);
}

// The field holds the increment just sent, the label the running total.
void enterCorrection(Ui::tuv *ui, QLineEdit *edit, QLabel *totalLabel, qint16 &total,
                     quint8 flag, qint32 code)
{
    double degrees = 0;
    qint16 steps = 0;
    if (!readNumber(edit->text(), &degrees) || !correctionSteps(degrees, total, &steps)) {
        refuse(ui, edit, flag);
        return;
    }
    edit->setText(degreesText(steps * CorrectionStepDegrees));
    total = qint16(total + steps);
    totalLabel->setText(correctionDegreesText(total));
    accept(ui, edit, flag);
    sendCommand(code, steps);
}

// One reference coordinate in degrees; true when all four are now in.
bool enterReference(Ui::tuv *ui, QLineEdit *edit, double *radians, quint8 flag, bool latitude)
{
    double degrees = 0;
    if (!readNumber(edit->text(), &degrees) || (latitude && qAbs(degrees) > 90.0)) {
        refuse(ui, edit, flag);
        return false;
    }
    *radians = degrees * DegreesToRadians;
    manualState.editFlags |= flag;
    setLook(edit, Look::Accepted);
    return (manualState.editFlags & ReferenceFlags) == ReferenceFlags;
}

// Writes the azimuth of the reference direction; true when it is a number.
bool showReferenceAzimuth(Ui::tuv *ui)
{
    const ManualState &m = manualState;
    const double theta = referenceAzimuth(m.lat1, m.lon1, m.lat2, m.lon2);
    if (std::isnan(theta)) {
        ui->Azimuth->setText(QStringLiteral("xxx"));
        return false;
    }
    ui->Azimuth->setText(degreesText(theta));
    manualState.azimuthComputed = true;
    return true;
}
} // namespace

void tuv::on_GoToOrig_clicked()
{
    reopenFields(ui);
    linkState.northCorrSteps = 0;
    linkState.parallCorrSteps = 0;
    ui->NorthCorrZ->clear();
    ui->ParallCorrZ->clear();
    ui->Azim_name->clear();
    ui->Azimuth->clear();
    normalLooks(ui);
    sendCommand(CmdGoToOrigin);
}

void tuv::on_GoToCorr_clicked()
{
    reopenFields(ui);
    normalLooks(ui);
    sendCommand(CmdGoToCorrectedOrigin);
}

void tuv::on_goto180_clicked()
{
    sendCommand(CmdFlipTo180);
}

void tuv::on_Cancel_clicked()
{
    sendCommand(CmdCancel);
}

void tuv::on_NorthCorr_cursorPositionChanged(int, int)
{
    setLook(ui->NorthCorr, Look::Normal);
}

void tuv::on_ParallCorr_cursorPositionChanged(int, int)
{
    setLook(ui->ParallCorr, Look::Normal);
}

void tuv::on_Lat1_cursorPositionChanged(int, int)
{
    setLook(ui->Lat1, Look::Normal);
}

void tuv::on_Lat2_cursorPositionChanged(int, int)
{
    setLook(ui->Lat2, Look::Normal);
}

void tuv::on_Lon1_cursorPositionChanged(int, int)
{
    setLook(ui->Lon1, Look::Normal);
}

void tuv::on_Lon2_cursorPositionChanged(int, int)
{
    setLook(ui->Lon2, Look::Normal);
}

void tuv::on_NorthCorr_returnPressed()
{
    enterCorrection(ui, ui->NorthCorr, ui->NorthCorrZ, linkState.northCorrSteps, FlagNorthCorr,
                    CmdSetNorthCorrection);
}

void tuv::on_ParallCorr_returnPressed()
{
    enterCorrection(ui, ui->ParallCorr, ui->ParallCorrZ, linkState.parallCorrSteps, FlagParallCorr,
                    CmdSetParallelCorrection);
}

void tuv::on_Azimuth_returnPressed()
{
    double degrees = 0;
    const AzimuthEntry entry = readAzimuth(ui->Azimuth->text(), &degrees);
    if (entry == AzimuthEntry::Invalid) {
        refuse(ui, ui->Azimuth, FlagAzimuth);
        return;
    }
    accept(ui, ui->Azimuth, FlagAzimuth);
    ui->Azim_name->setText(entry == AzimuthEntry::Value ? azimuthName(degrees) : QString());
    // A typed azimuth replaces the reference points; a computed one keeps them.
    if (!manualState.azimuthComputed) {
        ui->Lat1->clear();
        ui->Lat2->clear();
        ui->Lon1->clear();
        ui->Lon2->clear();
        manualState.refuse(ReferenceFlags);
    }
    manualState.azimuthComputed = false;
}

void tuv::on_Lat1_returnPressed()
{
    if (enterReference(ui, ui->Lat1, &manualState.lat1, FlagLat1, true) && showReferenceAzimuth(ui))
        on_Azimuth_returnPressed();
}

void tuv::on_Lat2_returnPressed()
{
    if (enterReference(ui, ui->Lat2, &manualState.lat2, FlagLat2, true) && showReferenceAzimuth(ui))
        on_Azimuth_returnPressed();
}

void tuv::on_Lon1_returnPressed()
{
    if (enterReference(ui, ui->Lon1, &manualState.lon1, FlagLon1, false) && showReferenceAzimuth(ui))
        on_Azimuth_returnPressed();
}

void tuv::on_Lon2_returnPressed()
{
    if (enterReference(ui, ui->Lon2, &manualState.lon2, FlagLon2, false) && showReferenceAzimuth(ui))
        on_Azimuth_returnPressed();
}

void tuv::on_SaveOrig_clicked()
{
    const QString north = ui->NorthCorr->text();
    const QString parall = ui->ParallCorr->text();
    const QString azimuth = ui->Azimuth->text();

    // A field edited since it was accepted may no longer be readable; storing
    // it would put 0 into the controller and the log (0 is north).
    double unused = 0;
    bool readable = true;
    if (!readNumber(north, &unused)) {
        refuse(ui, ui->NorthCorr, FlagNorthCorr);
        readable = false;
    }
    if (!readNumber(parall, &unused)) {
        refuse(ui, ui->ParallCorr, FlagParallCorr);
        readable = false;
    }
    if (readAzimuth(azimuth) == AzimuthEntry::Invalid) {
        refuse(ui, ui->Azimuth, FlagAzimuth);
        readable = false;
    }
    if (!readable)
        return;

    sendCommand(CmdStoreCorrections, storeArgument(azimuth));
    if (!appendKorrRecord(korrRecord(platform::nowUtc(), parall, north, azimuth)))
        platform::dialogs().message(QStringLiteral("Cannot write ") + QLatin1String(KorrFileName)
                                    + QStringLiteral(": the corrections are stored in the controller only."));

    manualState.editFlags = 0;
    ui->SaveOrig->setEnabled(false);
    for (QLineEdit *edit : correctionFields(ui)) {
        setLook(edit, Look::Stored);
        edit->setEnabled(false);
    }
}

namespace {
void showScanModes(Ui::tuv *ui)
{
    ui->ScanMode->setChecked(StationSettings.ScanModeRL);
    ui->ScanModeFB->setChecked(StationSettings.ScanModeFB);
    ui->Feedback->setChecked(StationSettings.Feedback);
}
} // namespace

void tuv::on_ScanMode_clicked()
{
    chooseScanMode(ScanChoice::ScanRL, ui->ScanMode->isChecked());
    showScanModes(ui);
}

void tuv::on_ScanModeFB_clicked()
{
    chooseScanMode(ScanChoice::ScanFB, ui->ScanModeFB->isChecked());
    showScanModes(ui);
}

void tuv::on_Feedback_clicked()
{
    chooseScanMode(ScanChoice::Feedback, ui->Feedback->isChecked());
    showScanModes(ui);
}

void tuv::on_Left_clicked()
{
    correctionLeft();
}

void tuv::on_Right_clicked()
{
    correctionRight();
}

// Forward and Back have no command of their own on the controller; they
// leave their word in the transmit buffer and send nothing.
void tuv::on_Forward_clicked()
{
    markForwardBack(ForwardWord);
}

void tuv::on_Back_clicked()
{
    markForwardBack(BackWord);
}

void tuv::on_ublox_clicked()
{
    if (!platform::dialogs().question(QStringLiteral("Switch to Ublox mode?")))
        return;
    linkState.ubloxMode = true;
    sendCommand(CmdEnterUblox);
    // The command must be on the line before quitting closes the port.
    if (m_rs->isOpened())
        m_rs->port()->waitForBytesWritten(1000);
    platform::dialogs().message(QStringLiteral("UBLOX mode is on.\r\n Run u-center\r\nto set up GPS module"));
    QCoreApplication::quit();
}
