#pragma once
// The per-user folder where the Write dialog starts, and the manual behind the HELP button.

#include <QString>

// The user's data folder (on Windows the roaming application-data folder) followed by
// "/Velmora/Certificates", with the platform's own separators. Neither created nor checked; empty
// when the system has no user data folder.
QString GetLocalCertificateFolder();

// Looked up by relative name in the current working directory, in this order, then by the
// same names in the installed documentation folder.
inline constexpr const char* HELP_MANUAL_FILE = "QuillkitManuals.pdf";
inline constexpr const char* HELP_MANUAL_FILE_EN = "QuillkitManuals_en.pdf";

// Where an installed program's manual lives: <prefix>/share/doc/quillbank for a program in
// <prefix>/bin.
QString InstalledDocumentationFolder(const QString& executableFolder);

// The manual that HELP opens, as an absolute path: the working directory's if it has one,
// else the installed one of the program in `executableFolder`; empty when there is none.
QString FindHelpManual(const QString& executableFolder);
