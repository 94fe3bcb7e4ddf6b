// backup DIR: one connection saves every slot to a file of its own and a manifest.json that
// apply and restore read. Nothing is written unless the whole device was read, and each file
// is written under a temporary name and renamed, so that an interrupted backup leaves no
// truncated file under a final name.

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <array>

#include "CommandContext.h"
#include "Commands.h"
#include "Manifest.h"
#include "SlotJson.h"

namespace {

// "00-server.crt", "01-server.key", "02-certificate-1.crt" … "14-certificate-13.crt".
QString BackupFileName(int slot) {
    const QString number = QStringLiteral("%1").arg(slot, 2, 10, QLatin1Char('0'));
    if (slot == SLOT_SERVER_CERTIFICATE) return number + QStringLiteral("-server.crt");
    if (slot == SLOT_SERVER_KEY) return number + QStringLiteral("-server.key");
    return number + QStringLiteral("-certificate-%1.crt").arg(slot - 1);
}

// Writes `bytes` to `path` through a temporary file; the key is owner-only from the start.
bool SaveAtomically(const QString& path, const QByteArray& bytes, bool ownerOnly, QString& error) {
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly);
    if (ok && ownerOnly) ok = file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (ok) ok = file.write(bytes) == bytes.size();
    if (ok) ok = file.commit();
    if (!ok) error = file.errorString();
    return ok;
}

int CheckFolder(const CommandContext& context, const QString& folder) {
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir())
        return context.Fail(CLI_LOCAL_FILE, folder + QStringLiteral(": not a folder"));
    if (info.isDir() &&
        !QDir(folder).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden) &&
        !context.options.force)
        return context.Fail(CLI_LOCAL_FILE,
                            folder + QStringLiteral(": not empty; pass --force to write into it"));
    return CLI_OK;
}

}  // namespace

int RunBackupCommand(const CommandContext& context) {
    const QString folder = context.options.arguments.front();
    if (const int checked = CheckFolder(context, folder); checked != CLI_OK) return checked;

    std::array<QByteArray, SLOT_COUNT> copies;
    QString port;
    {
        Connection connection(context);
        if (const int opened = connection.Open(AllSlots()); opened != CLI_OK) return opened;
        for (int slot = 0; slot < SLOT_COUNT; ++slot)
            copies[static_cast<size_t>(slot)] = connection.Session().SlotBytes(slot);
        port = connection.Port().location;
    }

    if (!QDir().mkpath(folder))
        return context.Fail(CLI_LOCAL_FILE, folder + QStringLiteral(": cannot create the folder"));
    const QDir dir(folder);
    QJsonArray slots;
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        const QByteArray& bytes = copies[static_cast<size_t>(slot)];
        QJsonObject entry = SlotJson(slot, bytes);
        if (!bytes.isEmpty()) {
            const QString name = BackupFileName(slot);
            QString error;
            if (!SaveAtomically(dir.filePath(name), bytes, slot == SLOT_SERVER_KEY, error))
                return context.Fail(
                    CLI_LOCAL_FILE,
                    QStringLiteral("cannot write %1: %2").arg(dir.filePath(name), error));
            entry.insert(QStringLiteral("file"), name);
            if (!context.options.json)
                context.out << "slot " << slot << " saved to " << dir.filePath(name) << " ("
                            << bytes.size() << " bytes)\n";
        }
        slots.append(entry);
    }
    const QJsonObject manifest{
        {QStringLiteral("version"), MANIFEST_VERSION},
        {QStringLiteral("created"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)},
        {QStringLiteral("slots"), slots}};
    const QString manifestPath = dir.filePath(QString::fromLatin1(MANIFEST_NAME));
    QString error;
    if (!SaveAtomically(manifestPath, QJsonDocument(manifest).toJson(QJsonDocument::Indented),
                        false, error))
        return context.Fail(CLI_LOCAL_FILE,
                            QStringLiteral("cannot write %1: %2").arg(manifestPath, error));

    if (context.options.json) {
        context.PrintJson({{QStringLiteral("port"), port},
                           {QStringLiteral("folder"), folder},
                           {QStringLiteral("manifest"), manifestPath},
                           {QStringLiteral("slots"), slots}});
    } else {
        context.out << "manifest saved to " << manifestPath << "\n";
    }
    context.out.flush();
    return CLI_OK;
}
