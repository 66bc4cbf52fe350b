#include "qtdialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

void QtDialogs::message(const QString &text)
{
    QMessageBox box;
    box.setText(text);
    box.exec();
}

void QtDialogs::information(const QString &text)
{
    QMessageBox::information(nullptr, QString(), text, QMessageBox::Ok);
}

bool QtDialogs::question(const QString &text)
{
    QMessageBox box(QMessageBox::Question, QString(), text);
    QPushButton *no = box.addButton(QStringLiteral("No"), QMessageBox::NoRole);
    QPushButton *yes = box.addButton(QStringLiteral("Yes"), QMessageBox::YesRole);
    box.setDefaultButton(no);
    box.exec();
    return box.clickedButton() == yes;
}

QString QtDialogs::openFile(const QString &caption, const QString &dir, const QString &filter)
{
    return QFileDialog::getOpenFileName(m_parent, caption, dir, filter);
}

QString QtDialogs::saveFile(const QString &caption, const QString &suggested, const QString &filter)
{
    return QFileDialog::getSaveFileName(m_parent, caption, suggested, filter);
}
