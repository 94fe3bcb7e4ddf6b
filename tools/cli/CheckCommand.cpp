// check [--days N]: names every certificate on the device that has expired or expires
// within N days, and what would not work in the credentials the device holds.

#include <cstdint>

#include "CommandContext.h"
#include "Commands.h"
#include "certs/CertificateSummary.h"
#include "session/JobChecks.h"

CommandResult RunCheckCommand(const CommandContext& context) {
    Connection connection(context);
    const int loaded = connection.Open(AllSlots());
    if (!connection.Usable()) return Ended(loaded);

    CheckReport report;
    report.port = connection.Port().location;
    report.days = context.options.days;
    report.complete = loaded == CLI_OK;
    report.now = QDateTime::currentDateTimeUtc();
    int flagged = 0;
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        const QByteArray bytes = connection.Session().SlotCopy(slot);
        report.copies[static_cast<size_t>(slot)] = bytes;
        // The expiry alone: the printers summarise each certificate where they show it.
        const std::optional<QDateTime> expires =
            CertificateExpiryUtc(reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                                 static_cast<std::size_t>(bytes.size()));
        if (expires && report.StandingOf(*expires).expiry != CheckReport::Expiry::Ok) ++flagged;
    }
    report.problems = CheckDevice(connection.Session());
    const int errors = ErrorCount(report.problems);
    if (loaded != CLI_OK) return {loaded, std::move(report), {}};
    if (flagged > 0)
        return {CLI_EXPIRING, std::move(report),
                QStringLiteral("%1 certificate(s) expired or expire within %2 days")
                    .arg(flagged)
                    .arg(context.options.days)};
    if (errors > 0)
        return {CLI_CREDENTIALS, std::move(report),
                QStringLiteral("%1 credential error(s) on the device").arg(errors)};
    return {CLI_OK, std::move(report), {}};
}
