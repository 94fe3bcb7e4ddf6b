#include "Journal.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSysInfo>

#include "QuillbankVersion.h"
#include "SlotJson.h"
#include "certs/SlotFacts.h"
#include "support/AppendFile.h"

namespace {
QJsonValue HashOrNull(const std::optional<QByteArray>& bytes) {
    return bytes ? QJsonValue(Sha256Hex(*bytes)) : QJsonValue(QJsonValue::Null);
}
}  // namespace

JournalSlot SavedToFile(int slot, const QString& file, const QByteArray& bytes) {
    JournalSlot entry;
    entry.slot = slot;
    entry.action = QStringLiteral("save");
    entry.file = file;
    entry.size = bytes.size();
    entry.before = entry.after = bytes;
    entry.done = true;
    return entry;
}

DeviceJournal::DeviceJournal(AppendFile* file, QString command)
    : m_file(file), m_command(std::move(command)) {}

void DeviceJournal::SetDevice(const QString& port, const QString& serialNumber) {
    m_port = port;
    m_serialNumber = serialNumber;
}

void DeviceJournal::Slot(const JournalSlot& entry) {
    if (!m_file) return;
    QJsonObject line{{QStringLiteral("record"), QStringLiteral("slot")},
                     {QStringLiteral("slot"), entry.slot},
                     {QStringLiteral("action"), entry.action},
                     {QStringLiteral("file"), TextOrNull(entry.file)},
                     {QStringLiteral("size"), entry.size},
                     {QStringLiteral("sha256Before"), HashOrNull(entry.before)},
                     {QStringLiteral("sha256After"), HashOrNull(entry.after)},
                     {QStringLiteral("verified"), entry.verified},
                     {QStringLiteral("outcome"), entry.done ? QStringLiteral("done")
                                                            : QStringLiteral("failed")},
                     {QStringLiteral("reason"), TextOrNull(entry.reason)}};
    Append(line);
}

void DeviceJournal::Run(int exitCode, const QString& reason, double seconds) {
    if (!m_file) return;
    QJsonObject line{{QStringLiteral("record"), QStringLiteral("device")},
                     {QStringLiteral("outcome"), exitCode == 0 ? QStringLiteral("done")
                                                               : QStringLiteral("failed")},
                     {QStringLiteral("exitCode"), exitCode},
                     {QStringLiteral("reason"), TextOrNull(reason)},
                     {QStringLiteral("seconds"), qRound64(seconds * 1000) / 1000.0}};
    Append(line);
}

void DeviceJournal::Append(const QJsonObject& own) {
    // The fields every line has, put in front of the record's own.
    QJsonObject common{
        {QStringLiteral("time"),
         QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)},
        {QStringLiteral("host"), QSysInfo::machineHostName()},
        {QStringLiteral("version"), QStringLiteral(QUILLBANK_VERSION)},
        {QStringLiteral("port"), TextOrNull(m_port)},
        {QStringLiteral("serialNumber"), TextOrNull(m_serialNumber)},
        {QStringLiteral("command"), m_command}};
    for (auto it = own.begin(); it != own.end(); ++it) common.insert(it.key(), it.value());
    QString error;
    if (!m_file->Append(QJsonDocument(common).toJson(QJsonDocument::Compact) + '\n', error) &&
        m_error.isEmpty())
        m_error = error;
}
