#include "certs/LocalSlotFile.h"

#include <QFile>
#include <QFileInfo>

#include "engine/SlotTable.h"

SlotFileRead ReadSlotFile(const QString& path) {
    SlotFileRead result;
    const QFileInfo info(path);
    if (info.isFile()) result.size = info.size();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = file.errorString();
        return result;
    }
    constexpr qint64 kWanted = SLOT_BUFFER_SIZE + 1;
    while (result.bytes.size() < kWanted) {
        const QByteArray more = file.read(kWanted - result.bytes.size());
        if (more.isEmpty()) {
            if (file.error() != QFileDevice::NoError) {
                result.error = file.errorString();
                result.bytes.clear();
                return result;
            }
            break;
        }
        result.bytes += more;
    }
    if (result.bytes.size() > SLOT_BUFFER_SIZE) {
        result.status = SlotFileRead::TooLarge;
        result.bytes.clear();
        return result;
    }
    result.status = SlotFileRead::Loaded;
    return result;
}
