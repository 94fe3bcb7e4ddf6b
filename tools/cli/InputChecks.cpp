#include "InputChecks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <set>

#include "CliOptions.h"
#include "CommandContext.h"
#include "Manifest.h"
#include "certs/LocalSlotFile.h"
#include "certs/SlotFacts.h"
#include "engine/SlotTable.h"
#include "support/Text.h"

namespace {
void SortBySlot(std::vector<ApplyStep>& steps) {
    std::sort(steps.begin(), steps.end(),
              [](const ApplyStep& a, const ApplyStep& b) { return a.slot < b.slot; });
}

// Whether `path`, with its symbolic links followed, lies inside the canonical folder `inside`.
// A file that does not exist is left to CheckSlotFile to name.
bool LiesInside(const QString& inside, const QString& path) {
    const QString real = QFileInfo(path).canonicalFilePath();
    if (real.isEmpty()) return !QFileInfo::exists(path);
    return !inside.isEmpty() && real.startsWith(inside.endsWith(u'/') ? inside : inside + u'/');
}
}  // namespace

int CheckSlotFile(const CommandContext& context, const QString& path, QByteArray& bytes,
                  const QString& name) {
    const QString shown = OneLine(name.isEmpty() ? path : name);
    const QFileInfo info(path);
    if (!info.exists())
        return context.Fail(CLI_LOCAL_FILE, shown + QStringLiteral(": no such file"));
    if (!info.isFile()) return context.Fail(CLI_LOCAL_FILE, shown + QStringLiteral(": not a file"));
    const SlotFileRead read = ReadSlotFile(path);
    switch (read.status) {
        case SlotFileRead::Loaded:
            bytes = read.bytes;
            return CLI_OK;
        case SlotFileRead::TooLarge:
            return context.Fail(CLI_LOCAL_FILE, QStringLiteral("%1 (%2 bytes): The file size must "
                                                               "be 6 KBytes or less.")
                                                    .arg(shown, QString::number(read.size)));
        case SlotFileRead::Unreadable:
            break;
    }
    return context.Fail(CLI_LOCAL_FILE,
                        QStringLiteral("%1: cannot read (%2)").arg(shown, read.error));
}

int PlanFromOptions(const CommandContext& context, std::vector<ApplyStep>& steps) {
    std::set<int> named;
    const auto take = [&](const QString& text, int& slot) {
        if (!ParseSlotNumber(text, slot))
            return context.Fail(CLI_USAGE,
                                QStringLiteral("'%1' is not a slot from 0 to 14").arg(text));
        if (!named.insert(slot).second)
            return context.Fail(CLI_USAGE, QStringLiteral("slot %1 is named twice").arg(slot));
        return static_cast<int>(CLI_OK);
    };
    for (const QString& write : context.options.slotWrites) {
        ApplyStep step;
        const qsizetype at = write.indexOf(u'=');
        if (at < 0 || at + 1 == write.size())
            return context.Fail(CLI_USAGE, QStringLiteral("--slot %1: expected N=FILE").arg(write));
        if (const int code = take(write.left(at), step.slot); code != CLI_OK) return code;
        step.file = step.path = write.mid(at + 1);
        steps.push_back(step);
    }
    for (const QString& remove : context.options.slotRemoves) {
        ApplyStep step;
        step.action = ApplyStep::Remove;
        if (const int code = take(remove, step.slot); code != CLI_OK) return code;
        steps.push_back(step);
    }
    for (ApplyStep& step : steps)
        if (step.action == ApplyStep::Write)
            if (const int code = CheckSlotFile(context, step.path, step.bytes); code != CLI_OK)
                return code;
    SortBySlot(steps);
    return CLI_OK;
}

int PlanFromManifest(const CommandContext& context, const QString& manifestPath, bool exact,
                     std::vector<ApplyStep>& steps) {
    const QString shownManifest = OneLine(manifestPath);
    QFile file(manifestPath);
    if (!file.open(QIODevice::ReadOnly))
        return context.Fail(
            CLI_LOCAL_FILE,
            QStringLiteral("%1: cannot read (%2)").arg(shownManifest, file.errorString()));
    std::vector<ManifestEntry> entries;
    QString error;
    if (!ParseManifest(file.readAll(), entries, error))
        return context.Fail(CLI_USAGE, shownManifest + QStringLiteral(": ") + error);
    const QDir folder = QFileInfo(manifestPath).absoluteDir();
    const QString inside = folder.canonicalPath();
    for (size_t i = 0; i < entries.size(); ++i) {
        const ManifestEntry& entry = entries[i];  // entry i is slots[i] of the manifest
        const QString shown = OneLine(entry.file);
        ApplyStep step;
        step.slot = entry.slot;
        if (entry.file.isEmpty()) {
            // An empty slot of a backup is erased only when asked to restore exactly.
            if (!entry.remove && !exact) continue;
            step.action = ApplyStep::Remove;
            steps.push_back(step);
            continue;
        }
        step.file = entry.file;
        step.path = folder.filePath(entry.file);
        // The name is relative and without ".."; a symbolic link could still lead out.
        if (!LiesInside(inside, step.path))
            return context.Fail(CLI_USAGE,
                                QStringLiteral("%1: slots[%2].file: '%3' leads outside the "
                                               "manifest's folder")
                                    .arg(shownManifest, QString::number(i), shown));
        if (const int code = CheckSlotFile(context, step.path, step.bytes, entry.file);
            code != CLI_OK)
            return code;
        if (entry.size && *entry.size != step.bytes.size())
            return context.Fail(
                CLI_LOCAL_FILE,
                QStringLiteral("%1 holds %2 bytes; the manifest says %3")
                    .arg(shown, QString::number(step.bytes.size()), QString::number(*entry.size)));
        if (!entry.sha256.isEmpty() && entry.sha256 != Sha256Hex(step.bytes))
            return context.Fail(
                CLI_LOCAL_FILE,
                shown + QStringLiteral(" does not match its SHA-256 in the manifest"));
        steps.push_back(step);
    }
    SortBySlot(steps);
    return CLI_OK;
}
