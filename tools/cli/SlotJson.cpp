#include "SlotJson.h"

#include "certs/SlotFacts.h"
#include "engine/SlotTable.h"

QJsonValue TextOrNull(const QString& text) {
    return text.isEmpty() ? QJsonValue(QJsonValue::Null) : QJsonValue(text);
}

QJsonObject BytesJson(const QByteArray& bytes) {
    const SlotFacts facts = DescribeSlotBytes(bytes);
    return {
        {QStringLiteral("size"), facts.size},
        {QStringLiteral("sha256"), TextOrNull(facts.sha256)},
        {QStringLiteral("information"), facts.information},
        {QStringLiteral("expires"), facts.expiresUtc ? QJsonValue(IsoUtcText(*facts.expiresUtc))
                                                     : QJsonValue(QJsonValue::Null)},
    };
}

QJsonObject SlotJson(int slot, const QByteArray& bytes) {
    QJsonObject object = BytesJson(bytes);
    object.insert(QStringLiteral("slot"), slot);
    object.insert(QStringLiteral("label"), SlotLabel(slot));
    return object;
}
