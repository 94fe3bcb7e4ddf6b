#include "certs/SummaryCommand.h"

#include "certs/LocalSlotFile.h"
#include "certs/SlotFacts.h"
#include "engine/SlotTable.h"
#include "support/Text.h"

int RunSummaryCommand(const QStringList& files, QTextStream& out, QTextStream& err,
                      std::vector<std::pair<QString, QByteArray>>* loaded) {
    if (files.isEmpty()) {
        err << "usage: quillbank-cli summary FILE...\n";
        err.flush();
        return SUMMARY_EXIT_USAGE;
    }
    int status = SUMMARY_EXIT_OK;
    for (const QString& path : files) {
        const SlotFileRead read = ReadSlotFile(path);
        switch (read.status) {
            case SlotFileRead::Loaded: {
                const QString cell = DescribeSlotBytes(read.bytes).information;
                out << OneLine(path) << ':';
                if (!cell.isEmpty()) out << ' ' << cell;
                out << '\n';
                if (loaded != nullptr) loaded->emplace_back(path, read.bytes);
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
                status = SUMMARY_EXIT_FILE_FAILED;
                break;
            }
            case SlotFileRead::Unreadable:
                err << OneLine(path) << ": cannot read (" << read.error << ")\n";
                status = SUMMARY_EXIT_FILE_FAILED;
                break;
        }
    }
    out.flush();
    err.flush();
    return status;
}
