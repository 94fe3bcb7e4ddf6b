// read, write and remove: one slot over one connection, with the window's own requests and questions.

#include "CommandContext.h"
#include "Commands.h"
#include "session/ApplyPlan.h"

namespace {
int SlotArgument(const CommandContext& context) {
    return context.options.arguments.front().toInt();
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
    needed.set(static_cast<size_t>(slot), !context.options.yes);
    if (const int opened = connection.Open(needed); opened != CLI_OK) return Ended(opened);
    const SessionResult written = connection.Session().Write(slot, file);
    if (!written.ok()) return Ended(written.code, written.message);
    return {CLI_OK,
            SlotReport{SlotReport::Written, slot, file, connection.Session().SlotSize(slot)},
            {}};
}

CommandResult RunRemoveCommand(const CommandContext& context) {
    const int slot = SlotArgument(context);
    Connection connection(context);
    // The confirmation does not depend on what the slot holds: nothing to load.
    if (const int opened = connection.Open(SlotSet()); opened != CLI_OK) return Ended(opened);
    const SessionResult removed = connection.Session().Remove(slot);
    if (!removed.ok()) return Ended(removed.code, removed.message);
    return {CLI_OK, SlotReport{SlotReport::Removed, slot, {}, 0}, {}};
}
