#include "certs/SummaryCommand.h"

#include "certs/SlotFacts.h"
#include "engine/SlotTable.h"
#include "support/Text.h"

void PrintSummaryLine(const QString& path, const SlotFileRead& read, QTextStream& out,
                      QTextStream& err) {
    switch (read.status) {
        case SlotFileRead::Loaded: {
            const QString cell = DescribeSlotBytes(read.bytes).information;
            out << OneLine(path) << ':';
            if (!cell.isEmpty()) out << ' ' << cell;
            out << '\n';
            break;
        }
        case SlotFileRead::TooLarge: {
            // A pipe or device has no size on disk: all that is known is "more".
            err << OneLine(path) << ": too large for a slot (";
            if (read.size > SLOT_BUFFER_SIZE)
                err << read.size << " bytes";
            else
                err << "more than " << SLOT_BUFFER_SIZE << " bytes";
            err << "; at most " << SLOT_BUFFER_SIZE << ")\n";
            break;
        }
        case SlotFileRead::Unreadable:
            err << OneLine(path) << ": cannot read (" << read.error << ")\n";
            break;
    }
}

int RunSummaryCommand(const QStringList& files, QTextStream& out, QTextStream& err) {
    if (files.isEmpty()) {
        err << SUMMARY_USAGE;
        err.flush();
        return SUMMARY_EXIT_USAGE;
    }
    int status = SUMMARY_EXIT_OK;
    for (const QString& path : files) {
        const SlotFileRead read = ReadSlotFile(path);
        PrintSummaryLine(path, read, out, err);
        if (read.status != SlotFileRead::Loaded) status = SUMMARY_EXIT_FILE_FAILED;
    }
    out.flush();
    err.flush();
    return status;
}
