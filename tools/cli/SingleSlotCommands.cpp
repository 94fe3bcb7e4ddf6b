// read, write and remove: one slot over one connection, with the window's own requests and questions.

#include <optional>

#include "CommandContext.h"
#include "Commands.h"
#include "session/ApplyPlan.h"

namespace {
int SlotArgument(const CommandContext& context) {
    return context.options.arguments.front().toInt();
}

// Records a write or a removal that was attempted (a declined one was not).
void Record(const CommandContext& context, const QString& action, int slot, const QString& file,
            const SessionResult& result, const QByteArray& sent,
            const std::optional<QByteArray>& before) {
    if (!context.journal || result.code == CLI_CANCELLED) return;
    JournalSlot entry;
    entry.slot = slot;
    entry.action = action;
    entry.file = file;
    entry.size = sent.size();
    entry.before = before;
    entry.done = result.ok();
    entry.reason = result.message;
    if (entry.done) entry.after = action == QLatin1String("write") ? sent : QByteArray();
    context.journal->Slot(entry);
}

std::optional<QByteArray> CopyIfLoaded(const CliSession& session, int slot) {
    return session.Loaded(slot) ? std::optional(session.SlotCopy(slot)) : std::nullopt;
}
}  // namespace

CommandResult RunReadCommand(const CommandContext& context) {
    const int slot = SlotArgument(context);
    const QString& file = context.options.arguments[1];
    Connection connection(context);
    SlotSet needed;
    needed.set(static_cast<size_t>(slot));  // whether it holds anything decides the command
    if (const int opened = connection.Open(needed); opened != CLI_OK) return Ended(opened);
    CliSession& session = connection.Session();
    const SessionResult read = session.Read(slot, file);
    if (!read.ok()) return Ended(read.code, read.message);
    if (context.journal) context.journal->Slot(SavedToFile(slot, file, session.SlotCopy(slot)));
    // Every write, the sync and the rename were checked: the file holds what arrived.
    return {CLI_OK, SlotReport{SlotReport::Saved, slot, file, session.SlotSize(slot)}, {}};
}

CommandResult RunWriteCommand(const CommandContext& context) {
    const int slot = SlotArgument(context);
    const QString& file = context.options.arguments[1];
    QByteArray bytes;
    if (const SessionResult checked = CheckSlotFile(file, bytes); !checked.ok())
        return Ended(checked.code, checked.message);
    Connection connection(context);
    // The slot's content matters only for the question before overwriting it.
    SlotSet needed;
    needed.set(static_cast<size_t>(slot), !context.options.yes || context.journal);
    if (const int opened = connection.Open(needed); opened != CLI_OK) return Ended(opened);
    const std::optional<QByteArray> before = CopyIfLoaded(connection.Session(), slot);
    const SessionResult written = connection.Session().Write(slot, file);
    Record(context, QStringLiteral("write"), slot, file, written, bytes, before);
    if (!written.ok()) return Ended(written.code, written.message);
    return {CLI_OK,
            SlotReport{SlotReport::Written, slot, file, connection.Session().SlotSize(slot)},
            {}};
}

CommandResult RunRemoveCommand(const CommandContext& context) {
    const int slot = SlotArgument(context);
    Connection connection(context);
    // The confirmation does not depend on what the slot holds: nothing to load, but for the
    // journal's record of what it held.
    SlotSet needed;
    needed.set(static_cast<size_t>(slot), context.journal != nullptr);
    if (const int opened = connection.Open(needed); opened != CLI_OK) return Ended(opened);
    const std::optional<QByteArray> before = CopyIfLoaded(connection.Session(), slot);
    const SessionResult removed = connection.Session().Remove(slot);
    Record(context, QStringLiteral("remove"), slot, {}, removed, {}, before);
    if (!removed.ok()) return Ended(removed.code, removed.message);
    return {CLI_OK, SlotReport{SlotReport::Removed, slot, {}, 0}, {}};
}
