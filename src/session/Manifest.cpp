#include "session/Manifest.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <cmath>
#include <set>

#include "engine/SlotTable.h"
#include "session/JsonDuplicateKeys.h"
#include "support/Text.h"

namespace {

// A whole number that JSON carries exactly.
bool WholeNumber(const QJsonValue& value, qint64& number) {
    if (!value.isDouble()) return false;
    const double d = value.toDouble();
    // The range first: converting a double beyond qint64 to it is undefined.
    if (!(d >= -9e15 && d <= 9e15) || d != std::trunc(d)) return false;
    number = static_cast<qint64>(d);
    return true;
}

// A file the manifest names stays inside the manifest's folder: relative, and without any
// ".." (refused even where it would climb back in, which is simpler to trust). "\\" counts as
// a separator and a drive letter as absolute, so a manifest made on Windows cannot escape
// either; a leading ':' would be a Qt resource.
bool StaysInFolder(const QString& file) {
    if (QDir::isAbsolutePath(file) || file.startsWith(u'\\')) return false;
    if (file.size() >= 2 && file[1] == u':' && file[0].isLetter()) return false;
    static const QRegularExpression separators(QStringLiteral("[/\\\\]"));
    return !file.split(separators).contains(QStringLiteral(".."));
}

bool Sha256Text(const QString& text) {
    static const QRegularExpression re(QStringLiteral("^[0-9a-fA-F]{64}$"));
    return re.match(text).hasMatch();
}

// Reads one entry of "slots"; `where` names it in messages.
bool ParseEntry(const QJsonObject& object, const QString& where, ManifestEntry& entry,
                QString& error) {
    const auto wrong = [&](const QString& key, const char* expected) {
        error = QStringLiteral("%1.%2: expected %3").arg(where, key, QLatin1String(expected));
        return false;
    };
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString& key = it.key();
        const QJsonValue value = it.value();
        qint64 number = 0;
        if (key == QLatin1String("slot")) {
            if (!WholeNumber(value, number)) return wrong(key, "a slot number");
            if (number < 0 || number >= SLOT_COUNT) {
                error =
                    QStringLiteral("%1.slot: %2 is not a slot from 0 to 14").arg(where).arg(number);
                return false;
            }
            entry.slot = static_cast<int>(number);
        } else if (key == QLatin1String("file")) {
            if (!value.isString() || value.toString().isEmpty()) return wrong(key, "a file name");
            entry.file = value.toString();
            if (!StaysInFolder(entry.file)) {
                error = QStringLiteral("%1.file: '%2' must be a relative path without '..'")
                            .arg(where, OneLine(entry.file));
                return false;
            }
        } else if (key == QLatin1String("remove")) {
            if (!value.isBool()) return wrong(key, "true or false");
            entry.remove = value.toBool();
        } else if (key == QLatin1String("size")) {
            if (!WholeNumber(value, number) || number < 0) return wrong(key, "a byte count");
            entry.size = number;
        } else if (key == QLatin1String("sha256")) {
            if (value.isNull()) continue;
            if (!value.isString() || !Sha256Text(value.toString()))
                return wrong(key, "64 hexadecimal digits or null");
            entry.sha256 = value.toString().toLower();
        } else if (key == QLatin1String("label") || key == QLatin1String("information")) {
            if (!value.isString()) return wrong(key, "text");
        } else if (key == QLatin1String("expires")) {
            if (!value.isString() && !value.isNull()) return wrong(key, "text or null");
        } else {
            error = QStringLiteral("%1: unknown field '%2'").arg(where, OneLine(key));
            return false;
        }
    }
    if (entry.slot < 0) {
        error = where + QStringLiteral(": no slot");
        return false;
    }
    if (entry.remove && !entry.file.isEmpty()) {
        error = where + QStringLiteral(": both a file and remove");
        return false;
    }
    return true;
}


// Reads a list of slot entries; `where` names it in messages ("slots", "devices[1].slots").
bool ParseSlots(const QJsonValue& value, const QString& where,
                std::vector<ManifestEntry>& entries, QString& error) {
    if (!value.isArray()) {
        error = where + QStringLiteral(": expected a list of slots");
        return false;
    }
    const QJsonArray slots = value.toArray();
    std::set<int> seen;
    for (qsizetype i = 0; i < slots.size(); ++i) {
        const QString at = QStringLiteral("%1[%2]").arg(where).arg(i);
        if (!slots[i].isObject()) {
            error = at + QStringLiteral(": expected an object");
            return false;
        }
        ManifestEntry entry;
        if (!ParseEntry(slots[i].toObject(), at, entry, error)) return false;
        if (!seen.insert(entry.slot).second) {
            error = QStringLiteral("%1: slot %2 is named twice").arg(at).arg(entry.slot);
            return false;
        }
        entries.push_back(entry);
    }
    return true;
}

// Reads one item of "devices"; `where` names it in messages.
bool ParseDevice(const QJsonValue& value, const QString& where, ManifestDevice& device,
                 QString& error) {
    if (!value.isObject()) {
        error = where + QStringLiteral(": expected an object");
        return false;
    }
    const QJsonObject object = value.toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        const QString& key = it.key();
        if (key == QLatin1String("serialNumber") || key == QLatin1String("port")) {
            if (!it.value().isString() || it.value().toString().isEmpty()) {
                error = QStringLiteral("%1.%2: expected text").arg(where, key);
                return false;
            }
            (key == QLatin1String("port") ? device.port : device.serialNumber) =
                it.value().toString();
        } else if (key == QLatin1String("slots")) {
            if (!ParseSlots(it.value(), where + QStringLiteral(".slots"), device.entries, error))
                return false;
        } else {
            error = QStringLiteral("%1: unknown field '%2'").arg(where, OneLine(key));
            return false;
        }
    }
    if (device.serialNumber.isEmpty() == device.port.isEmpty()) {
        error = where + QStringLiteral(": name the device by one of serialNumber and port");
        return false;
    }
    if (!object.contains(QStringLiteral("slots"))) {
        error = where + QStringLiteral(": no slots");
        return false;
    }
    return true;
}

bool ParseDevices(const QJsonValue& value, std::vector<ManifestDevice>& devices, QString& error) {
    if (!value.isArray()) {
        error = QStringLiteral("devices: expected a list of devices");
        return false;
    }
    const QJsonArray list = value.toArray();
    for (qsizetype i = 0; i < list.size(); ++i) {
        const QString where = QStringLiteral("devices[%1]").arg(i);
        ManifestDevice device;
        if (!ParseDevice(list[i], where, device, error)) return false;
        for (const ManifestDevice& earlier : devices) {
            if (earlier.serialNumber == device.serialNumber && earlier.port == device.port) {
                error = QStringLiteral("%1: device %2 is named twice")
                            .arg(where, OneLine(device.port + device.serialNumber));
                return false;
            }
        }
        devices.push_back(std::move(device));
    }
    return true;
}

}  // namespace

bool ParseManifestJob(const QByteArray& text, ManifestJob& job, QString& error) {
    job = ManifestJob();
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(text, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        error = QStringLiteral("not valid JSON (%1 at byte %2)")
                    .arg(parseError.errorString())
                    .arg(parseError.offset);
        return false;
    }
    // Only now, on text known to be JSON: QJsonDocument kept the last of a repeated key.
    if (const std::optional<DuplicateKey> twice = FindDuplicateKey(text)) {
        const QString key = OneLine(twice->key);
        error = twice->where.isEmpty()
                    ? QStringLiteral("field '%1' given twice").arg(key)
                    : QStringLiteral("%1: field '%2' given twice").arg(OneLine(twice->where), key);
        return false;
    }
    if (!document.isObject()) {
        error = QStringLiteral("not a JSON object");
        return false;
    }
    const QJsonObject root = document.object();
    for (auto it = root.begin(); it != root.end(); ++it) {
        const QString& key = it.key();
        qint64 version = 0;
        if (key == QLatin1String("version")) {
            if (!WholeNumber(it.value(), version) || version != MANIFEST_VERSION) {
                error = QStringLiteral("version: only version %1 is known").arg(MANIFEST_VERSION);
                return false;
            }
        } else if (key == QLatin1String("created")) {
            if (!it.value().isString()) {
                error = QStringLiteral("created: expected text");
                return false;
            }
        } else if (key != QLatin1String("slots") && key != QLatin1String("devices")) {
            error = QStringLiteral("unknown field '%1'").arg(OneLine(key));
            return false;
        }
    }
    job.perDevice = root.contains(QStringLiteral("devices"));
    if (job.perDevice && root.contains(QStringLiteral("slots"))) {
        error = QStringLiteral("both slots and devices; give one of them");
        return false;
    }
    if (job.perDevice) return ParseDevices(root.value(QStringLiteral("devices")), job.devices, error);
    return ParseSlots(root.value(QStringLiteral("slots")), QStringLiteral("slots"), job.entries,
                      error);
}

bool ParseManifest(const QByteArray& text, std::vector<ManifestEntry>& entries, QString& error) {
    entries.clear();
    ManifestJob job;
    if (!ParseManifestJob(text, job, error)) return false;
    if (job.perDevice) {
        error = QStringLiteral("gives each device its own slots; apply takes such a manifest");
        return false;
    }
    entries = std::move(job.entries);
    return true;
}
