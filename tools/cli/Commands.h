#pragma once
// The commands of quillbank-cli. Each returns how it ended (Reports.h): its exit code and
// what it found or did, which a printer renders; what went wrong on the way has been said on
// standard error, or is the result's closing line.

#include <vector>

#include "Reports.h"
#include "session/ApplyPlan.h"

class CommandContext;

CommandResult RunPortsCommand(const CommandContext& context);
CommandResult RunListCommand(const CommandContext& context);
CommandResult RunReadCommand(const CommandContext& context);
CommandResult RunWriteCommand(const CommandContext& context);
CommandResult RunRemoveCommand(const CommandContext& context);
CommandResult RunSummaryCommand(const CommandContext& context);
CommandResult RunApplyCommand(const CommandContext& context);
CommandResult RunBackupCommand(const CommandContext& context);
CommandResult RunRestoreCommand(const CommandContext& context);
CommandResult RunCheckCommand(const CommandContext& context);

// apply's and restore's run over one device: the steps, checked already, written and erased
// in order, each written slot read back when `verify`.
CommandResult RunApplySteps(const CommandContext& context, const std::vector<ApplyStep>& steps,
                            bool verify);
