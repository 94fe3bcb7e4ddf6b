#pragma once
// The commands of quillbank-cli. Each returns its exit code (CliExit) and has said on
// standard error what went wrong.

class CommandContext;

int RunPortsCommand(const CommandContext& context);
int RunListCommand(const CommandContext& context);
int RunReadCommand(const CommandContext& context);
int RunWriteCommand(const CommandContext& context);
int RunRemoveCommand(const CommandContext& context);
int RunSummaryCommand(const CommandContext& context);
int RunApplyCommand(const CommandContext& context);
int RunBackupCommand(const CommandContext& context);
int RunRestoreCommand(const CommandContext& context);
int RunCheckCommand(const CommandContext& context);
