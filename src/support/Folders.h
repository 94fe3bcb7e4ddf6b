#pragma once
// Creating a folder with its parents, keeping the system's reason when that fails
// (QDir::mkpath only says that it failed).

#include <QString>

// Creates `path` and each missing parent. A component that exists but is not a folder
// fails with "Not a directory". On failure `reason` is the system's text for the cause.
bool MakeFolders(const QString& path, QString& reason);
