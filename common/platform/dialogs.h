#pragma once
#include <QString>
#include <QStringList>
#include <QList>

// Every prompt the operator sees goes through this interface, so tests can answer
// them and the programs never block on a box nobody is there to close.
class Dialogs
{
public:
    virtual ~Dialogs() = default;
    // Plain modal message box: no parent, no title, OK.
    virtual void message(const QString &text) = 0;
    // Information box: no parent, empty title, OK.
    virtual void information(const QString &text) = 0;
    // Question box with "No" (first, default) and "Yes"; true on "Yes".
    virtual bool question(const QString &text) = 0;
    // Open-file dialog; empty when cancelled.
    virtual QString openFile(const QString &caption, const QString &dir,
                             const QString &filter) = 0;
    // Save-file dialog starting at `suggested`; empty when cancelled.
    virtual QString saveFile(const QString &caption, const QString &suggested, const QString &filter)
    {
        (void)caption, (void)suggested, (void)filter;
        return {};
    }
};

// Answers prompts from a script and records every one of them. A prompt that the
// script did not expect is answered harmlessly (No / cancel) and recorded in
// unexpected(), which tests check.
class ScriptedDialogs : public Dialogs
{
public:
    struct Prompt
    {
        QString kind; // "message", "information", "question", "openFile", "saveFile"
        QString text; // text or caption
    };

    void expectMessage(const QString &text) { m_script.append({QStringLiteral("message"), text, {}}); }
    void expectInformation(const QString &text) { m_script.append({QStringLiteral("information"), text, {}}); }
    void expectQuestion(const QString &text, bool yes)
    {
        m_script.append({QStringLiteral("question"), text, yes ? QStringLiteral("yes") : QString()});
    }
    void expectOpenFile(const QString &caption, const QString &answer)
    {
        m_script.append({QStringLiteral("openFile"), caption, answer});
    }
    void expectSaveFile(const QString &caption, const QString &answer)
    {
        m_script.append({QStringLiteral("saveFile"), caption, answer});
    }
    // Accept any number of plain messages without a script entry.
    void setLenient(bool lenient) { m_lenient = lenient; }

    void message(const QString &text) override;
    void information(const QString &text) override;
    bool question(const QString &text) override;
    QString openFile(const QString &caption, const QString &dir, const QString &filter) override;
    QString saveFile(const QString &caption, const QString &suggested, const QString &filter) override;

    const QList<Prompt> &prompts() const { return m_prompts; }
    const QStringList &unexpected() const { return m_unexpected; }
    bool scriptDone() const { return m_script.isEmpty(); }
    QString lastDir() const { return m_lastDir; }
    QString lastFilter() const { return m_lastFilter; }

private:
    struct Step
    {
        QString kind;
        QString text;
        QString answer;
    };
    QString take(const QString &kind, const QString &text, bool *ok);

    QList<Step> m_script;
    QList<Prompt> m_prompts;
    QStringList m_unexpected;
    QString m_lastDir;
    QString m_lastFilter;
    bool m_lenient = false;
};

// For unattended process tests: every prompt goes to standard error as one
// line "dialog <kind>: <text>" and takes its default answer (OK, No, cancel).
class AutoDialogs : public Dialogs
{
public:
    void message(const QString &text) override;
    void information(const QString &text) override;
    bool question(const QString &text) override;
    QString openFile(const QString &caption, const QString &dir, const QString &filter) override;
    QString saveFile(const QString &caption, const QString &suggested, const QString &filter) override;
};

namespace platform {
Dialogs &dialogs();
// Installs the dialogs (not owned). Until one is installed, prompts are recorded
// nowhere and answered No / cancel, which is what an unattended run needs.
void setDialogs(Dialogs *d);
}
