#include "session/BackupNaming.h"

#include "engine/SlotTable.h"

namespace {

// Whether Windows opens the device `stem` instead of a file: a name is the device whatever
// its case and whatever follows its first '.'.
bool IsWindowsDeviceName(const QString& stem) {
    for (const char* device : {"CON", "PRN", "AUX", "NUL"})
        if (stem.compare(QLatin1String(device), Qt::CaseInsensitive) == 0) return true;
    if (stem.size() != 4 || !stem[3].isDigit()) return false;
    const QString head = stem.left(3);
    return head.compare(QLatin1String("COM"), Qt::CaseInsensitive) == 0 ||
           head.compare(QLatin1String("LPT"), Qt::CaseInsensitive) == 0;
}

}  // namespace

QString BackupFileName(int slot) {
    const QString number = QStringLiteral("%1").arg(slot, 2, 10, QLatin1Char('0'));
    if (slot == SLOT_SERVER_CERTIFICATE) return number + QStringLiteral("-server.crt");
    if (slot == SLOT_SERVER_KEY) return number + QStringLiteral("-server.key");
    return number + QStringLiteral("-certificate-%1.crt").arg(slot - 1);
}

QString SafeFileName(const QString& name) {
    QString safe;
    for (const QChar c : name)
        safe += (c.isLetterOrNumber() && c.unicode() < 0x80) || c == u'.' || c == u'-' || c == u'_'
                    ? c
                    : u'_';
    // Never a name that means the folder itself or its parent, nor a hidden one.
    if (safe.isEmpty() || safe.startsWith(u'.')) safe.prepend(u'_');
    // A device without a serial number is named after its port, and on Windows that is
    // COM3: a folder of that name cannot be made there.
    const qsizetype dot = safe.indexOf(u'.');
    const qsizetype stemEnd = dot < 0 ? safe.size() : dot;
    if (IsWindowsDeviceName(safe.left(stemEnd))) safe.insert(stemEnd, u'_');
    return safe;
}
