#pragma once
// How credential problems are reported: one line each in text, one object each in JSON:
// {"slots": [...], "severity": "error"|"warning", "code": "...", "message": "..."}.

#include <QJsonArray>
#include <QString>
#include <QStringList>
#include <vector>

#include "certs/CredentialChecks.h"

// "error: slots 0, 1: key-mismatch: the key in slot 1 does not belong to ..."
QString ProblemLine(const CredentialProblem& problem);

// With `files`, the problems of `summary`: "files" names them in place of "slots".
QJsonArray ProblemsJson(const std::vector<CredentialProblem>& problems,
                        const QStringList* files = nullptr);
