#include "settingslabel.h"

QString settingsLabelText(const QString &settingsSummary, const QString &statusText)
{
    return settingsSummary + statusText + QStringLiteral("  ");
}
