#pragma once
#include "dialogs.h"

class QWidget;

// The real prompts: QMessageBox and QFileDialog.
class QtDialogs : public Dialogs
{
public:
    // Parent for the file dialog (the main window), may be null.
    void setFileDialogParent(QWidget *parent) { m_parent = parent; }

    void message(const QString &text) override;
    void information(const QString &text) override;
    bool question(const QString &text) override;
    QString openFile(const QString &caption, const QString &dir, const QString &filter) override;
    QString saveFile(const QString &caption, const QString &suggested, const QString &filter) override;

private:
    QWidget *m_parent = nullptr;
};
