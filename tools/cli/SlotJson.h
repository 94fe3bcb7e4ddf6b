#pragma once
// The JSON that describes a slot (or a file seen as one) in every --json document and in a
// backup's manifest: "slot", "label", "size", "sha256", "information", "expires".

#include <QByteArray>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>

// sha256 and expires are null where there is none (no bytes; not a certificate).
QJsonObject SlotJson(int slot, const QByteArray& bytes);
// The same fields without "slot" and "label", for a local file.
QJsonObject BytesJson(const QByteArray& bytes);
QJsonValue TextOrNull(const QString& text);
