// backup DIR: one connection saves every slot to a file of its own and a manifest.json that
// apply and restore read. Nothing is written unless the whole device was read, and the files
// are written under temporary names and renamed together only when all are whole, so that a
// backup that fails or is interrupted leaves the folder as it was.

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <array>
#include <vector>

#include "CommandContext.h"
#include "Commands.h"
#include "SlotJson.h"
#include "session/BackupNaming.h"
#include "session/Manifest.h"
#include "support/Folders.h"
#include "support/SafeFile.h"

namespace {

// Starts `file` at `path` with all of `bytes`; the key is owner-only from the start.
bool Stage(SafeFile& file, const QString& path, const QByteArray& bytes, bool ownerOnly) {
    return file.Begin(path, ownerOnly ? FileAccess::OwnerOnly : FileAccess::Usual) &&
           file.Write(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

// The folders that making `folder` creates, deepest first, so that a failed backup can
// take them away again.
QStringList MissingFolders(const QString& folder) {
    QStringList missing;
    for (QFileInfo info(QDir::cleanPath(QDir(folder).absolutePath())); !info.exists();
         info = QFileInfo(info.absolutePath())) {
        missing.append(info.absoluteFilePath());
        if (info.isRoot()) break;
    }
    return missing;
}

void RemoveFolders(const QStringList& created) {
    for (const QString& folder : created) QDir().rmdir(folder);
}

SessionResult CheckFolder(const QString& folder, bool force) {
    const QFileInfo info(folder);
    if (info.exists() && !info.isDir())
        return {CLI_LOCAL_FILE, folder + QStringLiteral(": not a folder")};
    if (info.isDir() &&
        !QDir(folder).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden) && !force)
        return {CLI_LOCAL_FILE,
                folder + QStringLiteral(": not empty; pass --force to write into it")};
    return {};
}

}  // namespace

CommandResult RunBackupCommand(const CommandContext& context) {
    const QString folder = context.options.arguments.front();
    if (const SessionResult checked = CheckFolder(folder, context.options.force); !checked.ok())
        return Ended(checked.code, checked.message);

    std::array<QByteArray, SLOT_COUNT> copies;
    QString port;
    {
        Connection connection(context);
        if (const int opened = connection.Open(AllSlots()); opened != CLI_OK) return Ended(opened);
        for (int slot = 0; slot < SLOT_COUNT; ++slot)
            copies[static_cast<size_t>(slot)] = connection.Session().SlotCopy(slot);
        port = connection.Port().location;
    }

    // Nothing under a final name changes until every file is written and synced; then they
    // are renamed together, the manifest last, or not at all.
    const QStringList created = MissingFolders(folder);
    if (QString reason; !MakeFolders(folder, reason)) {
        RemoveFolders(created);
        return Ended(CLI_LOCAL_FILE,
                     QStringLiteral("cannot create the folder %1: %2").arg(folder, reason));
    }
    const QDir dir(folder);
    std::vector<SafeFile> files;
    files.reserve(SLOT_COUNT + 1);
    BackupReport report;
    report.port = port;
    report.folder = folder;
    const auto failed = [&](QString error) {  // a copy: the file that says it goes first
        files.clear();                         // each removes its temporary
        RemoveFolders(created);
        return Ended(CLI_LOCAL_FILE, QStringLiteral("cannot write ") + error);
    };
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        const QByteArray& bytes = copies[static_cast<size_t>(slot)];
        QJsonObject entry = SlotJson(slot, bytes);
        if (!bytes.isEmpty()) {
            const QString name = BackupFileName(slot);
            files.emplace_back();
            if (!Stage(files.back(), dir.filePath(name), bytes, slot == SLOT_SERVER_KEY))
                return failed(files.back().Error());
            entry.insert(QStringLiteral("file"), name);
            report.saved.push_back({slot, dir.filePath(name), bytes.size()});
        }
        report.manifestSlots.append(entry);
    }
    const QJsonObject manifest{
        {QStringLiteral("version"), MANIFEST_VERSION},
        {QStringLiteral("created"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)},
        {QStringLiteral("slots"), report.manifestSlots}};
    report.manifestPath = dir.filePath(QString::fromLatin1(MANIFEST_NAME));
    files.emplace_back();
    if (!Stage(files.back(), report.manifestPath,
               QJsonDocument(manifest).toJson(QJsonDocument::Indented), false))
        return failed(files.back().Error());
    std::vector<SafeFile*> set;
    for (SafeFile& file : files) set.push_back(&file);
    if (QString error; !PublishTogether(set, error)) return failed(error);
    if (context.journal)
        for (const BackupReport::Saved& saved : report.saved)
            context.journal->Slot(
                SavedToFile(saved.slot, saved.path, copies[static_cast<size_t>(saved.slot)]));
    return {CLI_OK, std::move(report), {}};
}
