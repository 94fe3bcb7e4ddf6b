#include "session/BackupNaming.h"

#include "engine/SlotTable.h"

QString BackupFileName(int slot) {
    const QString number = QStringLiteral("%1").arg(slot, 2, 10, QLatin1Char('0'));
    if (slot == SLOT_SERVER_CERTIFICATE) return number + QStringLiteral("-server.crt");
    if (slot == SLOT_SERVER_KEY) return number + QStringLiteral("-server.key");
    return number + QStringLiteral("-certificate-%1.crt").arg(slot - 1);
}
