#pragma once
// The names inside a backup: each slot's file next to manifest.json, and, in a backup of
// several devices, each device's folder.

#include <QString>

// "00-server.crt", "01-server.key", "02-certificate-1.crt" … "14-certificate-13.crt".
QString BackupFileName(int slot);

// `name` as one file name, the same on every system: letters, digits, '.', '-' and '_'
// kept, anything else '_'; never "", ".", ".." or hidden; and never a name that Windows
// takes for a device (CON, PRN, AUX, NUL, COM0–COM9, LPT0–LPT9, in any case, with or
// without an extension): those get a '_' after the device's name ("COM3_", "nul_.txt").
QString SafeFileName(const QString& name);
