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
#include "controllerlink.h"
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
void reopenFields(Ui::tuv *ui, ManualState &m)
{
    for (QLineEdit *edit : correctionFields(ui))
        edit->setEnabled(true);
    m.editFlags = 0;
    ui->SaveOrig->setEnabled(false);
    ui->NorthCorr->setText(QStringLiteral("0"));
    ui->ParallCorr->setText(QStringLiteral("0"));
}

void normalLooks(Ui::tuv *ui)
{
    for (QLineEdit *edit : correctionFields(ui))
        setLook(edit, Look::Normal);
}

void refuse(Ui::tuv *ui, ManualState &m, QLineEdit *edit, quint8 flag)
{
    m.refuse(flag);
    ui->SaveOrig->setEnabled(false);
    setLook(edit, Look::Normal);
}

void accept(Ui::tuv *ui, ManualState &m, QLineEdit *edit, quint8 flag)
{
    setLook(edit, Look::Accepted);
    if (m.accept(flag))
        ui->SaveOrig->setEnabled(true);
}

// The field holds the increment just sent, the label the running total.
void enterCorrection(Ui::tuv *ui, ManualState &m, ControllerLink &link, QLineEdit *edit, QLabel *totalLabel, qint16 &total,
                     quint8 flag, qint32 code)
{
    double degrees = 0;
    qint16 steps = 0;
    if (!readNumber(edit->text(), &degrees) || !correctionSteps(degrees, total, &steps)) {
        refuse(ui, m, edit, flag);
        return;
    }
    edit->setText(degreesText(steps * CorrectionStepDegrees));
    total = qint16(total + steps);
    totalLabel->setText(correctionDegreesText(total));
    accept(ui, m, edit, flag);
    link.sendCommand(code, steps);
}

// One reference coordinate in degrees; true when all four are now in.
bool enterReference(Ui::tuv *ui, ManualState &m, QLineEdit *edit, double *radians, quint8 flag, bool latitude)
{
    double degrees = 0;
    if (!readNumber(edit->text(), &degrees) || (latitude && qAbs(degrees) > 90.0)) {
        refuse(ui, m, edit, flag);
        return false;
    }
    *radians = degrees * DegreesToRadians;
    m.editFlags |= flag;
    setLook(edit, Look::Accepted);
    return (m.editFlags & ReferenceFlags) == ReferenceFlags;
}

// Writes the azimuth of the reference direction; true when it is a number.
bool showReferenceAzimuth(Ui::tuv *ui, ManualState &m)
{
    const double theta = referenceAzimuth(m.lat1, m.lon1, m.lat2, m.lon2);
    if (std::isnan(theta)) {
        ui->Azimuth->setText(QStringLiteral("xxx"));
        return false;
    }
    ui->Azimuth->setText(degreesText(theta));
    m.azimuthComputed = true;
    return true;
}
} // namespace

void tuv::on_GoToOrig_clicked()
{
    reopenFields(ui, m_state.manualState);
    m_state.linkState.northCorrSteps = 0;
    m_state.linkState.parallCorrSteps = 0;
    ui->NorthCorrZ->clear();
    ui->ParallCorrZ->clear();
    ui->Azim_name->clear();
    ui->Azimuth->clear();
    normalLooks(ui);
    m_link->sendCommand(CmdGoToOrigin);
}

void tuv::on_GoToCorr_clicked()
{
    reopenFields(ui, m_state.manualState);
    normalLooks(ui);
    m_link->sendCommand(CmdGoToCorrectedOrigin);
}

void tuv::on_goto180_clicked()
{
    m_link->sendCommand(CmdFlipTo180);
}

void tuv::on_Cancel_clicked()
{
    m_link->sendCommand(CmdCancel);
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
    enterCorrection(ui, m_state.manualState, *m_link, ui->NorthCorr, ui->NorthCorrZ, m_state.linkState.northCorrSteps, FlagNorthCorr,
                    CmdSetNorthCorrection);
}

void tuv::on_ParallCorr_returnPressed()
{
    enterCorrection(ui, m_state.manualState, *m_link, ui->ParallCorr, ui->ParallCorrZ, m_state.linkState.parallCorrSteps, FlagParallCorr,
                    CmdSetParallelCorrection);
}

void tuv::on_Azimuth_returnPressed()
{
    double degrees = 0;
    const AzimuthEntry entry = readAzimuth(ui->Azimuth->text(), &degrees);
    if (entry == AzimuthEntry::Invalid) {
        refuse(ui, m_state.manualState, ui->Azimuth, FlagAzimuth);
        return;
    }
    accept(ui, m_state.manualState, ui->Azimuth, FlagAzimuth);
    ui->Azim_name->setText(entry == AzimuthEntry::Value ? azimuthName(degrees) : QString());
    // A typed azimuth replaces the reference points; a computed one keeps them.
    if (!m_state.manualState.azimuthComputed) {
        ui->Lat1->clear();
        ui->Lat2->clear();
        ui->Lon1->clear();
        ui->Lon2->clear();
        m_state.manualState.refuse(ReferenceFlags);
    }
    m_state.manualState.azimuthComputed = false;
}

void tuv::on_Lat1_returnPressed()
{
    if (enterReference(ui, m_state.manualState, ui->Lat1, &m_state.manualState.lat1, FlagLat1, true) && showReferenceAzimuth(ui, m_state.manualState))
        on_Azimuth_returnPressed();
}

void tuv::on_Lat2_returnPressed()
{
    if (enterReference(ui, m_state.manualState, ui->Lat2, &m_state.manualState.lat2, FlagLat2, true) && showReferenceAzimuth(ui, m_state.manualState))
        on_Azimuth_returnPressed();
}

void tuv::on_Lon1_returnPressed()
{
    if (enterReference(ui, m_state.manualState, ui->Lon1, &m_state.manualState.lon1, FlagLon1, false) && showReferenceAzimuth(ui, m_state.manualState))
        on_Azimuth_returnPressed();
}

void tuv::on_Lon2_returnPressed()
{
    if (enterReference(ui, m_state.manualState, ui->Lon2, &m_state.manualState.lon2, FlagLon2, false) && showReferenceAzimuth(ui, m_state.manualState))
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
        refuse(ui, m_state.manualState, ui->NorthCorr, FlagNorthCorr);
        readable = false;
    }
    if (!readNumber(parall, &unused)) {
        refuse(ui, m_state.manualState, ui->ParallCorr, FlagParallCorr);
        readable = false;
    }
    if (readAzimuth(azimuth) == AzimuthEntry::Invalid) {
        refuse(ui, m_state.manualState, ui->Azimuth, FlagAzimuth);
        readable = false;
    }
    if (!readable)
        return;

    m_link->sendCommand(CmdStoreCorrections, storeArgument(azimuth));
    if (!appendKorrRecord(korrRecord(platform::nowUtc(), parall, north, azimuth)))
        platform::dialogs().message(QStringLiteral("Cannot write ") + QLatin1String(KorrFileName)
                                    + QStringLiteral(": the corrections are stored in the controller only."));

    m_state.manualState.editFlags = 0;
    ui->SaveOrig->setEnabled(false);
    for (QLineEdit *edit : correctionFields(ui)) {
        setLook(edit, Look::Stored);
        edit->setEnabled(false);
    }
}

namespace {
void showScanModes(Ui::tuv *ui, const StationSettingsRecord &s)
{
    ui->ScanMode->setChecked(s.ScanModeRL);
    ui->ScanModeFB->setChecked(s.ScanModeFB);
    ui->Feedback->setChecked(s.Feedback);
}
} // namespace

void tuv::on_ScanMode_clicked()
{
    chooseScanMode(m_state.StationSettings, ScanChoice::ScanRL, ui->ScanMode->isChecked());
    showScanModes(ui, m_state.StationSettings);
}

void tuv::on_ScanModeFB_clicked()
{
    chooseScanMode(m_state.StationSettings, ScanChoice::ScanFB, ui->ScanModeFB->isChecked());
    showScanModes(ui, m_state.StationSettings);
}

void tuv::on_Feedback_clicked()
{
    chooseScanMode(m_state.StationSettings, ScanChoice::Feedback, ui->Feedback->isChecked());
    showScanModes(ui, m_state.StationSettings);
}

void tuv::on_Left_clicked()
{
    correctionLeft(m_state.correctionState, m_state.StationSettings);
}

void tuv::on_Right_clicked()
{
    correctionRight(m_state.correctionState, m_state.StationSettings);
}

// Forward and Back have no command of their own on the controller; they
// leave their word in the transmit buffer and send nothing.
void tuv::on_Forward_clicked()
{
    m_link->markCommandWord(ForwardWord);
}

void tuv::on_Back_clicked()
{
    m_link->markCommandWord(BackWord);
}

void tuv::on_ublox_clicked()
{
    if (!platform::dialogs().question(QStringLiteral("Switch to Ublox mode?")))
        return;
    m_state.linkState.ubloxMode = true;
    m_link->sendCommand(CmdEnterUblox);
    // The command must be on the line before quitting closes the port.
    if (m_rs && m_rs->isOpened())
        m_rs->port()->waitForBytesWritten(1000);
    platform::dialogs().message(QStringLiteral("UBLOX mode is on.\r\n Run u-center\r\nto set up GPS module"));
    QCoreApplication::quit();
}
