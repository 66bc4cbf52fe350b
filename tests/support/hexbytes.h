#pragma once
#include <QByteArray>

// Bytes written as hex in a test, blanks between them allowed: hex("0B 00").
inline QByteArray hex(const char *text)
{
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}
