#pragma once
// manifest.json: what backup writes and apply reads.
//
//   {
//     "version": 1,
//     "created": "2025-03-01T08:00:00Z",
//     "slots": [
//       {"slot": 0, "label": "Certificate", "file": "00-server.crt", "size": 1210,
//        "sha256": "…", "information": "SHA256RSA , Sample Root CA , …",
//        "expires": "2027-06-01T08:00:00Z"},
//       {"slot": 2, "label": "Certificate 1", "size": 0, "sha256": null,
//        "information": "", "expires": null},
//       {"slot": 5, "remove": true}
//     ]
//   }
//
// An entry with "file" writes that file into the slot: a relative path without "..", inside
// the manifest's folder also once symbolic links are followed. "remove": true erases the
// slot; an entry with neither is a slot that was empty, erased only by an exact restore.
// "size" and "sha256", when given, must match the file. "label", "information" and "expires"
// are for people and are not checked. Any other field, a value of the wrong type, a key given
// twice in one object, a slot outside 0-14 or a slot named twice makes the manifest invalid.
//
// For a line where every device gets credentials of its own, "devices" takes the place of
// "slots" and gives each device its slots, the device named by exactly one of its USB serial
// number and its port location, no device twice:
//
//   {"version": 1, "devices": [
//     {"serialNumber": "A1B2C3", "slots": [{"slot": 0, "file": "a1b2c3/server.crt"}, ...]},
//     {"port": "/dev/ttyACM1", "slots": [...]}]}

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

inline constexpr int MANIFEST_VERSION = 1;
inline constexpr const char* MANIFEST_NAME = "manifest.json";

struct ManifestEntry {
    int slot = -1;
    QString file;  // empty: no file
    bool remove = false;
    std::optional<qint64> size;
    QString sha256;  // empty: not given
};

struct ManifestDevice {
    QString serialNumber;  // empty: named by its port
    QString port;
    std::vector<ManifestEntry> entries;
};

struct ManifestJob {
    bool perDevice = false;              // "devices" rather than "slots"
    std::vector<ManifestEntry> entries;  // "slots"
    std::vector<ManifestDevice> devices;
};

// Parses the text of a manifest of either form; false with one line naming the problem.
bool ParseManifestJob(const QByteArray& text, ManifestJob& job, QString& error);
// Parses the text of a manifest of slots (a backup's); one that maps devices is refused.
bool ParseManifest(const QByteArray& text, std::vector<ManifestEntry>& entries, QString& error);
