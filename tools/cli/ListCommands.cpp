// ports and list: what is plugged in, and what a device holds.

#include <QJsonArray>

#include "CommandContext.h"
#include "Commands.h"
#include "SlotJson.h"
#include "certs/InformationCell.h"

int RunPortsCommand(const CommandContext& context) {
    std::vector<ComDeviceInfo> devices;
    context.environment.lister.EnumerateComDevices(devices);
    QJsonArray ports;
    for (const ComDeviceInfo& info : devices) {
        const bool matches = !MatchingPorts({info}).empty();
        if (context.options.json) {
            ports.append(QJsonObject{
                {QStringLiteral("name"), info.portName},
                {QStringLiteral("location"), info.location},
                {QStringLiteral("description"), info.friendlyName},
                {QStringLiteral("hardwareIds"), QJsonArray::fromStringList(info.hardwareIds)},
                {QStringLiteral("device"), matches}});
            continue;
        }
        context.out << (matches ? "* " : "  ") << info.portName << "\t" << info.location << "\t"
                    << info.friendlyName << "\t" << info.hardwareIds.join(u' ') << "\n";
    }
    if (context.options.json) context.PrintJson({{QStringLiteral("ports"), ports}});
    if (devices.empty()) context.err << "quillbank-cli: no serial ports found\n";
    context.out.flush();
    context.err.flush();
    return CLI_OK;
}

int RunListCommand(const CommandContext& context) {
    Connection connection(context);
    const int loaded = connection.Open(AllSlots());
    // After a malformed answer the list still shows what was read before it.
    if (!connection.Usable()) return loaded;
    CliSession& session = connection.Session();
    if (context.options.json) {
        QJsonArray slots;
        for (int slot = 0; slot < SLOT_COUNT; ++slot)
            slots.append(SlotJson(slot, session.SlotCopy(slot)));
        context.PrintJson({{QStringLiteral("port"), connection.Port().location},
                           {QStringLiteral("complete"), loaded == CLI_OK},
                           {QStringLiteral("slots"), slots}});
        return loaded;
    }
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        QString row = QStringLiteral("%1  %2  %3")
                          .arg(slot, 2)
                          .arg(SlotLabel(slot), -13)
                          .arg(InformationCellText(session, slot));
        while (row.endsWith(u' ')) row.chop(1);
        context.out << row << "\n";
    }
    return loaded;
}
