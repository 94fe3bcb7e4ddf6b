#include "ProblemReport.h"

#include <QJsonObject>

namespace {
QString SeverityText(const CredentialProblem& problem) {
    return problem.severity == CredentialProblem::Error ? QStringLiteral("error")
                                                        : QStringLiteral("warning");
}
}  // namespace

QString ProblemLine(const CredentialProblem& problem) {
    QStringList slots;
    for (const int slot : problem.slots) slots << QString::number(slot);
    return QStringLiteral("%1: %2 %3: %4: %5")
        .arg(SeverityText(problem),
             problem.slots.size() == 1 ? QStringLiteral("slot") : QStringLiteral("slots"),
             slots.join(QStringLiteral(", ")), problem.code, problem.message);
}

QJsonArray ProblemsJson(const std::vector<CredentialProblem>& problems, const QStringList* files) {
    QJsonArray list;
    for (const CredentialProblem& problem : problems) {
        QJsonArray where;
        for (const int at : problem.slots) {
            if (files != nullptr)
                where.append(files->value(at));
            else
                where.append(at);
        }
        list.append(QJsonObject{
            {files != nullptr ? QStringLiteral("files") : QStringLiteral("slots"), where},
            {QStringLiteral("severity"), SeverityText(problem)},
            {QStringLiteral("code"), problem.code},
            {QStringLiteral("message"), problem.message},
        });
    }
    return list;
}
