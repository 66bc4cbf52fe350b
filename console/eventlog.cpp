#include "eventlog.h"

QString logEntryPrefix(quint16 statusWord, const QDateTime &utc)
{
    QString prefix = QStringLiteral("\r\n");
    switch (statusWord & 0x3000) {
    case 0x1000:
        prefix += QStringLiteral("  *");
        break;
    case 0x3000:
        prefix += QStringLiteral("**");
        break;
    default:
        prefix += QStringLiteral("  ");
        break;
    }
    return prefix + utc.toUTC().toString(QStringLiteral("dd-MM-yy hh:mm:ss")) + QStringLiteral("  ");
}
