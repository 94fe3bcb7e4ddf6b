// check [--days N]: names every certificate on the device that has expired or expires
// within N days, and what would not work in the credentials the device holds.

#include <QDateTime>
#include <QJsonArray>

#include "CommandContext.h"
#include "Commands.h"
#include "ProblemReport.h"
#include "SlotJson.h"
#include "certs/SlotFacts.h"
#include "session/JobChecks.h"

int RunCheckCommand(const CommandContext& context) {
    Connection connection(context);
    const int loaded = connection.Open(AllSlots());
    if (!connection.Usable()) return loaded;

    const QDateTime now = QDateTime::currentDateTimeUtc();
    const QDateTime horizon = now.addDays(context.options.days);
    QJsonArray certificates;
    int seen = 0;
    int flagged = 0;
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        const QByteArray bytes = connection.Session().SlotCopy(slot);
        const SlotFacts facts = DescribeSlotBytes(bytes);
        if (!facts.expiresUtc) continue;
        const QDateTime& expires = *facts.expiresUtc;
        const char* status = expires <= now ? "expired" : expires <= horizon ? "expiring" : "ok";
        const qint64 daysLeft = now.secsTo(expires) / (24 * 3600);
        ++seen;
        if (expires <= horizon) ++flagged;
        if (context.options.json) {
            QJsonObject object = SlotJson(slot, bytes);
            object.insert(QStringLiteral("status"), QString::fromLatin1(status));
            object.insert(QStringLiteral("daysLeft"), daysLeft);
            certificates.append(object);
            continue;
        }
        context.out << QStringLiteral("%1  %2  expires %3  ")
                           .arg(slot, 2)
                           .arg(SlotLabel(slot), -13)
                           .arg(IsoUtcText(expires));
        if (expires <= now)
            context.out << "EXPIRED\n";
        else if (expires <= horizon)
            context.out << "EXPIRES WITHIN " << context.options.days << " DAYS (" << daysLeft
                        << " days left)\n";
        else
            context.out << "ok (" << daysLeft << " days left)\n";
    }
    const std::vector<CredentialProblem> problems = CheckDevice(connection.Session());
    if (context.options.json) {
        context.PrintJson({{QStringLiteral("port"), connection.Port().location},
                           {QStringLiteral("days"), context.options.days},
                           {QStringLiteral("complete"), loaded == CLI_OK},
                           {QStringLiteral("certificates"), certificates},
                           {QStringLiteral("problems"), ProblemsJson(problems)}});
    } else {
        if (seen == 0) context.out << "no certificates on the device\n";
        for (const CredentialProblem& problem : problems)
            context.out << ProblemLine(problem) << "\n";
    }
    if (loaded != CLI_OK) return loaded;
    if (flagged > 0)
        return context.Fail(CLI_EXPIRING,
                            QStringLiteral("%1 certificate(s) expired or expire within "
                                           "%2 days")
                                .arg(flagged)
                                .arg(context.options.days));
    if (const int errors = ErrorCount(problems); errors > 0)
        return context.Fail(CLI_CREDENTIALS,
                            QStringLiteral("%1 credential error(s) on the device").arg(errors));
    return CLI_OK;
}
