#pragma once
// QJsonDocument keeps the last of a key given twice and drops the others without a word; a
// manifest must not say two things about one field, so its text is read once more for that.

#include <QByteArray>
#include <QString>
#include <optional>

struct DuplicateKey {
    QString where;  // the object holding it: "" for the top level, "slots[1]", "a.b[0]"
    QString key;
};

// The first key given twice in one object of `json`, at any depth. `json` must be text that
// QJsonDocument has accepted; keys are compared as QJsonObject does, escapes decoded.
std::optional<DuplicateKey> FindDuplicateKey(const QByteArray& json);
