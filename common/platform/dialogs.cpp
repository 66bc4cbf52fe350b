#include "dialogs.h"

#include <cstdio>

QString ScriptedDialogs::take(const QString &kind, const QString &text, bool *ok)
{
    m_prompts.append({kind, text});
    if (!m_script.isEmpty() && m_script.first().kind == kind && m_script.first().text == text) {
        *ok = true;
        return m_script.takeFirst().answer;
    }
    *ok = false;
    if (!(m_lenient && kind == QLatin1String("message")))
        m_unexpected.append(kind + QLatin1String(": ") + text);
    return {};
}

void ScriptedDialogs::message(const QString &text)
{
    bool ok;
    take(QStringLiteral("message"), text, &ok);
}

void ScriptedDialogs::information(const QString &text)
{
    bool ok;
    take(QStringLiteral("information"), text, &ok);
}

bool ScriptedDialogs::question(const QString &text)
{
    bool ok;
    return !take(QStringLiteral("question"), text, &ok).isEmpty() && ok;
}

QString ScriptedDialogs::openFile(const QString &caption, const QString &dir, const QString &filter)
{
    m_lastDir = dir;
    m_lastFilter = filter;
    bool ok;
    return take(QStringLiteral("openFile"), caption, &ok);
}

QString ScriptedDialogs::saveFile(const QString &caption, const QString &suggested, const QString &filter)
{
    m_lastDir = suggested;
    m_lastFilter = filter;
    bool ok;
    return take(QStringLiteral("saveFile"), caption, &ok);
}

namespace {
class SilentDialogs : public Dialogs
{
public:
    void message(const QString &) override {}
    void information(const QString &) override {}
    bool question(const QString &) override { return false; }
    QString openFile(const QString &, const QString &, const QString &) override { return {}; }
};
SilentDialogs g_silent;
Dialogs *g_dialogs = &g_silent;
}

namespace platform {
Dialogs &dialogs() { return *g_dialogs; }
void setDialogs(Dialogs *d) { g_dialogs = d ? d : &g_silent; }
}

namespace {
void printPrompt(const char *kind, const QString &text)
{
    QString flat = text;
    flat.replace(QLatin1Char('\r'), QLatin1String("\\r")).replace(QLatin1Char('\n'), QLatin1String("\\n"));
    std::fprintf(stderr, "dialog %s: %s\n", kind, flat.toUtf8().constData());
    std::fflush(stderr);
}
}

void AutoDialogs::message(const QString &text) { printPrompt("message", text); }
void AutoDialogs::information(const QString &text) { printPrompt("information", text); }
bool AutoDialogs::question(const QString &text)
{
    printPrompt("question", text);
    return false;
}
QString AutoDialogs::openFile(const QString &caption, const QString &, const QString &)
{
    printPrompt("openFile", caption);
    return {};
}
QString AutoDialogs::saveFile(const QString &caption, const QString &, const QString &)
{
    printPrompt("saveFile", caption);
    return {};
}
