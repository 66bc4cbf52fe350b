#pragma once
#include <QString>

// The text of settingsLabel: the settings summary, the demodulator status, two blanks.
QString settingsLabelText(const QString &settingsSummary, const QString &statusText);
