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

}  // namespace

bool ParseManifest(const QByteArray& text, std::vector<ManifestEntry>& entries, QString& error) {
    entries.clear();
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
        } else if (key != QLatin1String("slots")) {
            error = QStringLiteral("unknown field '%1'").arg(OneLine(key));
            return false;
        }
    }
    if (!root.value(QStringLiteral("slots")).isArray()) {
        error = QStringLiteral("slots: expected a list of slots");
        return false;
    }
    const QJsonArray slots = root.value(QStringLiteral("slots")).toArray();
    std::set<int> seen;
    for (qsizetype i = 0; i < slots.size(); ++i) {
        const QString where = QStringLiteral("slots[%1]").arg(i);
        if (!slots[i].isObject()) {
            error = where + QStringLiteral(": expected an object");
            return false;
        }
        ManifestEntry entry;
        if (!ParseEntry(slots[i].toObject(), where, entry, error)) return false;
        if (!seen.insert(entry.slot).second) {
            error = QStringLiteral("%1: slot %2 is named twice").arg(where).arg(entry.slot);
            return false;
        }
        entries.push_back(entry);
    }
    return true;
}
