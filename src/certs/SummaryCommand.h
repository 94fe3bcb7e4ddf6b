#pragma once
// `quillbank-cli summary FILE...`: shows, for each local file, the Information cell the slot
// lists would show if the file were written into a slot.
//
// Output, one line per file in the order given:
//   standard output  "FILE: <cell>"   the summary, "File Size : NBytes", or "FILE:" alone
//                                      for an empty file
//   error output     "FILE: too large for a slot (N bytes; at most 6144)", or
//                    "(more than 6144 bytes; ...)" for a pipe or device without a size
//                    "FILE: cannot read (<reason>)"
//                    the usage line when no file is named
// FILE is the argument as given. Every file is tried even after one failed.

#include <QString>
#include <QStringList>
#include <QTextStream>

#include "certs/LocalSlotFile.h"

inline constexpr int SUMMARY_EXIT_OK = 0;
inline constexpr int SUMMARY_EXIT_FILE_FAILED = 1;  // a file was too large or unreadable
inline constexpr int SUMMARY_EXIT_USAGE = 2;        // no file named

inline constexpr const char* SUMMARY_USAGE = "usage: quillbank-cli summary FILE...\n";

// The line of one file, as ReadSlotFile read it from `path`: on `out` when it was loaded,
// else on `err`.
void PrintSummaryLine(const QString& path, const SlotFileRead& read, QTextStream& out,
                      QTextStream& err);

// Reads and reports every file of `files`.
int RunSummaryCommand(const QStringList& files, QTextStream& out, QTextStream& err);
