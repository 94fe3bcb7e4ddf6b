#include "certs/SummaryCommand.h"

#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdint>

#include "certs/InformationCell.h"
#include "engine/SlotTable.h"

namespace {

enum class LoadResult { Loaded, TooLarge, Unreadable };

// Reads the file into a slot record the way a Write would leave the slot's copy. One byte
// more than a slot holds is asked for, so that an oversized file is recognised even where
// its size is not known in advance.
LoadResult LoadSlotCopy(QFile& file, FileSlot& slot) {
    if (!file.open(QIODevice::ReadOnly)) return LoadResult::Unreadable;
    char buffer[SLOT_BUFFER_SIZE + 1];
    qint64 total = 0;
    while (total < static_cast<qint64>(sizeof buffer)) {
        const qint64 got = file.read(buffer + total, static_cast<qint64>(sizeof buffer) - total);
        if (got < 0) return LoadResult::Unreadable;
        if (got == 0) break;
        total += got;
    }
    if (total > SLOT_BUFFER_SIZE) return LoadResult::TooLarge;
    slot.nStatus = SLOT_DONE;
    std::uint8_t* data = slot.EnsureBuffer();
    std::copy(buffer, buffer + total, data);
    slot.nSize = static_cast<std::uint16_t>(total);
    return LoadResult::Loaded;
}

}  // namespace

int RunSummaryCommand(const QStringList& files, QTextStream& out, QTextStream& err) {
    if (files.isEmpty()) {
        err << "usage: quillbank-cli summary FILE...\n";
        err.flush();
        return SUMMARY_EXIT_USAGE;
    }
    int status = SUMMARY_EXIT_OK;
    for (const QString& path : files) {
        QFile file(path);
        FileSlot slot;
        switch (LoadSlotCopy(file, slot)) {
            case LoadResult::Loaded: {
                const QString cell = InformationCellText(slot);
                out << path << ':';
                if (!cell.isEmpty()) out << ' ' << cell;
                out << '\n';
                break;
            }
            case LoadResult::TooLarge: {
                // A pipe or device has no size on disk: all that is known is "more".
                const qint64 size = QFileInfo(path).size();
                err << path << ": too large for a slot (";
                if (size > SLOT_BUFFER_SIZE)
                    err << size << " bytes";
                else
                    err << "more than " << SLOT_BUFFER_SIZE << " bytes";
                err << "; at most " << SLOT_BUFFER_SIZE << ")\n";
                status = SUMMARY_EXIT_FILE_FAILED;
                break;
            }
            case LoadResult::Unreadable:
                err << path << ": cannot read (" << file.errorString() << ")\n";
                status = SUMMARY_EXIT_FILE_FAILED;
                break;
        }
    }
    out.flush();
    err.flush();
    return status;
}
