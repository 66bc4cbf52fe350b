#pragma once
#include "portfolder.h"
#include "ptypeer.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

// Resets every process-wide record the link core touches and collects the
// event sink, so each test starts from the state of a fresh console.
void resetLinkWorld();

QByteArray hex(const char *text);
