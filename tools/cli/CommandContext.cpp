#include "CommandContext.h"

#include <QFileInfo>

#include "StopSignals.h"

int CommandContext::Fail(int code, const QString& message) const {
    if (!message.isEmpty()) err << "quillbank-cli: " << message << "\n";
    err.flush();
    return code;
}

int CommandContext::ChoosePort(PortChoice& port) const {
    if (!options.port.isEmpty()) {
        port.location = options.port;
        port.name = QFileInfo(options.port).fileName();
        return CLI_OK;
    }
    std::vector<ComDeviceInfo> devices;
    environment.lister.EnumerateComDevices(devices);
    const std::vector<PortChoice> ports = MatchingPorts(devices);
    if (ports.empty())
        return Fail(CLI_NO_DEVICE, QStringLiteral("no device found (looking for %1); use --port to "
                                                  "name a port")
                                       .arg(QString::fromUtf16(DEVICE_HARDWARE_ID)));
    if (ports.size() > 1) {
        err << "quillbank-cli: several devices found; choose one with --port:\n";
        for (const PortChoice& p : ports) err << "  " << p.location << "\n";
        return Fail(CLI_SEVERAL_DEVICES, {});
    }
    port = ports.front();
    return CLI_OK;
}

SessionPace CommandContext::Pace() const {
    return {options.tickMs.value_or(environment.tickMs), options.timeoutSeconds};
}

QString CommandContext::SerialNumberOf(const PortChoice& port) const {
    if (serialNumber) return *serialNumber;
    std::vector<ComDeviceInfo> devices;
    environment.lister.EnumerateComDevices(devices);
    for (const ComDeviceInfo& device : devices)
        if (device.location == port.location) return device.serialNumber;
    return {};
}

Connection::Connection(const CommandContext& context)
    : m_context(context),
      m_dialogs(context.err, context.options.yes, context.environment.interactive) {}

Connection::~Connection() {
    if (m_session) m_session->Disconnect();
    m_context.out.flush();
    m_context.err.flush();
}

int Connection::Open(const SlotSet& needed) {
    if (const int chosen = m_context.ChoosePort(m_port); chosen != CLI_OK) return chosen;
    if (m_context.journal)
        m_context.journal->SetDevice(m_port.location, m_context.SerialNumberOf(m_port));
    m_session = std::make_unique<CliSession>(m_context.environment.ports, m_dialogs, m_port,
                                             m_context.Pace(), SignalStops());
    const SessionResult result = m_session->Connect(needed);
    return m_context.Fail(result.code, result.message);
}
