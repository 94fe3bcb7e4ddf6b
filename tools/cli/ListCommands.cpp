// ports and list: what is plugged in, and what a device holds.

#include "CommandContext.h"
#include "Commands.h"

CommandResult RunPortsCommand(const CommandContext& context) {
    PortsReport report;
    context.environment.lister.EnumerateComDevices(report.ports);
    const bool none = report.ports.empty();
    return {CLI_OK, std::move(report), none ? QStringLiteral("no serial ports found") : QString()};
}

CommandResult RunListCommand(const CommandContext& context) {
    Connection connection(context);
    const int loaded = connection.Open(AllSlots());
    // After a malformed answer the list still shows what was read before it.
    if (!connection.Usable()) return Ended(loaded);
    const CliSession& session = connection.Session();
    ListReport report;
    report.port = connection.Port().location;
    report.complete = loaded == CLI_OK;
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        HeldSlot& held = report.slots[static_cast<size_t>(slot)];
        held.status = session.SlotStatus(slot);
        held.size = session.SlotSize(slot);
        held.bytes = session.SlotCopy(slot);
    }
    return {loaded, std::move(report), {}};
}
