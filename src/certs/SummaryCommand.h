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

#include <QByteArray>
#include <QStringList>
#include <QTextStream>
#include <utility>
#include <vector>

inline constexpr int SUMMARY_EXIT_OK = 0;
inline constexpr int SUMMARY_EXIT_FILE_FAILED = 1;  // a file was too large or unreadable
inline constexpr int SUMMARY_EXIT_USAGE = 2;        // no file named

// `loaded`, when given, receives each file that was read with its bytes, in the same order.
int RunSummaryCommand(const QStringList& files, QTextStream& out, QTextStream& err,
                      std::vector<std::pair<QString, QByteArray>>* loaded = nullptr);
