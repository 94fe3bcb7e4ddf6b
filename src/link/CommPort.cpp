#include "link/CommPort.h"

#include <algorithm>
#include <chrono>
#include <thread>

void CommPort::WaitForInput(int timeoutMs) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::clamp(timeoutMs, 0, 1)));
}

QString DescribePortOpenError(const PortOpenError& error) {
    QString text;
    switch (error.failure) {
        case PortOpenFailure::None:
            return {};
        case PortOpenFailure::Missing:
            text = QStringLiteral("no such port");
            break;
        case PortOpenFailure::NoPermission:
            text = QStringLiteral("permission denied");
            break;
        case PortOpenFailure::InUse:
            text = QStringLiteral("in use by another program");
            break;
        case PortOpenFailure::Other:
            text = QStringLiteral("the system refused it");
            break;
    }
    if (!error.detail.isEmpty()) text += QStringLiteral(" (") + error.detail + u')';
    return text;
}
