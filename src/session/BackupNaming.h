#pragma once
// The file a backup saves each slot into, inside its folder, next to manifest.json.

#include <QString>

// "00-server.crt", "01-server.key", "02-certificate-1.crt" … "14-certificate-13.crt".
QString BackupFileName(int slot);
