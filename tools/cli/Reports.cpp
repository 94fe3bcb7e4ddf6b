#include "Reports.h"

bool SummaryReport::AnyCertificate() const {
    for (const Credential& item : credentials)
        if (item.kind == Credential::Certificate) return true;
    return false;
}

QStringList SummaryReport::Partners(size_t i) const {
    QStringList partners;
    for (const size_t other : pairs[i]) partners << names[static_cast<qsizetype>(other)];
    return partners;
}

CheckReport::Standing CheckReport::StandingOf(const QDateTime& expires) const {
    const QDateTime horizon = now.addDays(days);
    Standing standing;
    standing.expiry = expires <= now       ? Expiry::Expired
                      : expires <= horizon ? Expiry::Expiring
                                           : Expiry::Ok;
    standing.daysLeft = now.secsTo(expires) / (24 * 3600);
    return standing;
}

QString FailureReason(const CommandResult& result) {
    if (!result.closing.isEmpty()) return result.closing;
    if (const auto* apply = std::get_if<ApplyReport>(&result.report))
        for (const StepResult& step : apply->results)
            if (step.status == StepStatus::Failed && !step.failure.message.isEmpty())
                return step.failure.message;
    return {};
}
