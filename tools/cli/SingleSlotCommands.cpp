// read, write and remove: one slot over one connection, with the window's own requests and
// questions.

#include "CommandContext.h"
#include "Commands.h"
#include "session/ApplyPlan.h"

namespace {
int SlotArgument(const CommandContext& context) {
    return context.options.arguments.front().toInt();
}
}  // namespace

int RunReadCommand(const CommandContext& context) {
    const int slot = SlotArgument(context);
    const QString& file = context.options.arguments[1];
    Connection connection(context);
    SlotSet needed;
    needed.set(static_cast<size_t>(slot));  // whether it holds anything decides the command
    if (const int opened = connection.Open(needed); opened != CLI_OK) return opened;
    CliSession& session = connection.Session();
    const SessionResult read = session.Read(slot, file);
    if (!read.ok()) return context.Fail(read.code, read.message);
    // Every write, the sync and the rename were checked: the file holds what arrived.
    const int received = session.SlotSize(slot);
    context.out << "slot " << slot << " saved to " << file << " (" << received << " bytes)\n";
    return CLI_OK;
}

int RunWriteCommand(const CommandContext& context) {
    const int slot = SlotArgument(context);
    const QString& file = context.options.arguments[1];
    QByteArray bytes;
    if (const SessionResult checked = CheckSlotFile(file, bytes); !checked.ok())
        return context.Fail(checked.code, checked.message);
    Connection connection(context);
    // The slot's content matters only for the question before overwriting it.
    SlotSet needed;
    needed.set(static_cast<size_t>(slot), !context.options.yes);
    if (const int opened = connection.Open(needed); opened != CLI_OK) return opened;
    const SessionResult written = connection.Session().Write(slot, file);
    if (!written.ok()) return context.Fail(written.code, written.message);
    context.out << "slot " << slot << " written from " << file << " ("
                << connection.Session().SlotSize(slot) << " bytes)\n";
    return CLI_OK;
}

int RunRemoveCommand(const CommandContext& context) {
    const int slot = SlotArgument(context);
    Connection connection(context);
    // The confirmation does not depend on what the slot holds: nothing to load.
    if (const int opened = connection.Open(SlotSet()); opened != CLI_OK) return opened;
    const SessionResult removed = connection.Session().Remove(slot);
    if (!removed.ok()) return context.Fail(removed.code, removed.message);
    context.out << "slot " << slot << " removed\n";
    return CLI_OK;
}
