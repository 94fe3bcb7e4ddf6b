#pragma once
// How a command's report reaches the user: lines of text, or (--json) one JSON document on
// standard output. Each printer also writes what its format puts on standard error.

#include <QJsonObject>
#include <QTextStream>
#include <optional>

#include "Reports.h"

void PrintText(const Report& report, QTextStream& out, QTextStream& err);
void PrintJson(const Report& report, QTextStream& out, QTextStream& err);
// The JSON document PrintJson prints, or none (then it printed what there was to print).
std::optional<QJsonObject> ReportJson(const Report& report, QTextStream& out, QTextStream& err);

// "done", "failed", "not attempted": how an apply step ended, in both formats.
const char* StepStatusText(StepStatus status);
