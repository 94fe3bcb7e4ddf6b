#include "session/ApplyPlan.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <set>

#include "certs/LocalSlotFile.h"
#include "certs/SlotFacts.h"
#include "engine/SlotTable.h"
#include "session/Manifest.h"
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

// Reads the slot back and compares it with what was written.
SessionResult Verify(CliSession& session, const ApplyStep& step) {
    bool refusedOpen = false;
    const SessionResult read = session.ReadBack(step.slot, refusedOpen);
    // A device holds nothing after an empty file, and will not open what it does not hold.
    if (refusedOpen && step.bytes.isEmpty()) return {};
    if (!read.ok()) return read;
    const QByteArray held = session.SlotCopy(step.slot);
    if (held == step.bytes) return {};
    qsizetype at = 0;
    while (at < held.size() && at < step.bytes.size() && held[at] == step.bytes[at]) ++at;
    return {
        CLI_VERIFY_MISMATCH,
        QStringLiteral("slot %1 read back differs from %2 (%3 bytes against %4, first difference "
                       "at byte %5)")
            .arg(QString::number(step.slot), OneLine(step.file), QString::number(held.size()),
                 QString::number(step.bytes.size()), QString::number(at))};
}
}  // namespace

bool ParseSlotNumber(const QString& text, int& slot) {
    bool ok = false;
    slot = text.toInt(&ok);
    return ok && slot >= 0 && slot < SLOT_COUNT;
}

SessionResult CheckSlotFile(const QString& path, QByteArray& bytes, const QString& name) {
    const QString shown = OneLine(name.isEmpty() ? path : name);
    const QFileInfo info(path);
    if (!info.exists()) return {CLI_LOCAL_FILE, shown + QStringLiteral(": no such file")};
    if (!info.isFile()) return {CLI_LOCAL_FILE, shown + QStringLiteral(": not a file")};
    const SlotFileRead read = ReadSlotFile(path);
    switch (read.status) {
        case SlotFileRead::Loaded:
            bytes = read.bytes;
            return {};
        case SlotFileRead::TooLarge:
            return {CLI_LOCAL_FILE,
                    QStringLiteral("%1 (%2 bytes): The file size must be 6 KBytes or less.")
                        .arg(shown, QString::number(read.size))};
        case SlotFileRead::Unreadable:
            break;
    }
    return {CLI_LOCAL_FILE, QStringLiteral("%1: cannot read (%2)").arg(shown, read.error)};
}

SessionResult PlanFromOptions(const QStringList& writes, const QStringList& removes,
                              std::vector<ApplyStep>& steps) {
    std::set<int> named;
    const auto take = [&](const QString& text, int& slot) -> SessionResult {
        if (!ParseSlotNumber(text, slot))
            return {CLI_USAGE, QStringLiteral("'%1' is not a slot from 0 to 14").arg(text)};
        if (!named.insert(slot).second)
            return {CLI_USAGE, QStringLiteral("slot %1 is named twice").arg(slot)};
        return {};
    };
    for (const QString& write : writes) {
        ApplyStep step;
        const qsizetype at = write.indexOf(u'=');
        if (at < 0 || at + 1 == write.size())
            return {CLI_USAGE, QStringLiteral("--slot %1: expected N=FILE").arg(write)};
        if (SessionResult taken = take(write.left(at), step.slot); !taken.ok()) return taken;
        step.file = step.path = write.mid(at + 1);
        steps.push_back(step);
    }
    for (const QString& remove : removes) {
        ApplyStep step;
        step.action = ApplyStep::Remove;
        if (SessionResult taken = take(remove, step.slot); !taken.ok()) return taken;
        steps.push_back(step);
    }
    for (ApplyStep& step : steps)
        if (step.action == ApplyStep::Write)
            if (SessionResult checked = CheckSlotFile(step.path, step.bytes); !checked.ok())
                return checked;
    SortBySlot(steps);
    return {};
}

namespace {
// The steps of the slot entries `entries` (the list `where` of the manifest), their files
// read from the manifest's folder.
SessionResult PlanEntries(const QString& manifestPath, const std::vector<ManifestEntry>& entries,
                          const QString& where, bool exact, std::vector<ApplyStep>& steps) {
    const QString shownManifest = OneLine(manifestPath);
    const QDir folder = QFileInfo(manifestPath).absoluteDir();
    const QString inside = folder.canonicalPath();
    for (size_t i = 0; i < entries.size(); ++i) {
        const ManifestEntry& entry = entries[i];  // entry i is where[i] of the manifest
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
            return {CLI_USAGE, QStringLiteral("%1: %2[%3].file: '%4' leads outside the "
                                              "manifest's folder")
                                   .arg(shownManifest, where, QString::number(i), shown)};
        if (SessionResult checked = CheckSlotFile(step.path, step.bytes, entry.file); !checked.ok())
            return checked;
        if (entry.size && *entry.size != step.bytes.size())
            return {CLI_LOCAL_FILE, QStringLiteral("%1 holds %2 bytes; the manifest says %3")
                                        .arg(shown, QString::number(step.bytes.size()),
                                             QString::number(*entry.size))};
        if (!entry.sha256.isEmpty() && entry.sha256 != Sha256Hex(step.bytes))
            return {CLI_LOCAL_FILE,
                    shown + QStringLiteral(" does not match its SHA-256 in the manifest")};
        steps.push_back(step);
    }
    SortBySlot(steps);
    return {};
}

SessionResult ReadManifest(const QString& manifestPath, ManifestJob& job) {
    const QString shownManifest = OneLine(manifestPath);
    QFile file(manifestPath);
    if (!file.open(QIODevice::ReadOnly))
        return {CLI_LOCAL_FILE,
                QStringLiteral("%1: cannot read (%2)").arg(shownManifest, file.errorString())};
    QString error;
    if (!ParseManifestJob(file.readAll(), job, error))
        return {CLI_USAGE, shownManifest + QStringLiteral(": ") + error};
    return {};
}
}  // namespace

SessionResult PlanFromManifest(const QString& manifestPath, bool exact,
                               std::vector<ApplyStep>& steps) {
    JobPlan plan;
    if (SessionResult read = PlanJobFromManifest(manifestPath, exact, plan); !read.ok())
        return read;
    if (plan.perDevice)
        return {CLI_USAGE, OneLine(manifestPath) +
                               QStringLiteral(": gives each device its own slots; apply takes "
                                              "such a manifest")};
    steps = std::move(plan.steps);
    return {};
}

SessionResult PlanJobFromManifest(const QString& manifestPath, bool exact, JobPlan& plan) {
    plan = JobPlan();
    ManifestJob job;
    if (SessionResult read = ReadManifest(manifestPath, job); !read.ok()) return read;
    plan.perDevice = job.perDevice;
    if (!job.perDevice)
        return PlanEntries(manifestPath, job.entries, QStringLiteral("slots"), exact, plan.steps);
    for (size_t i = 0; i < job.devices.size(); ++i) {
        const ManifestDevice& device = job.devices[i];
        DevicePlan planned{device.serialNumber, device.port, {}};
        const QString where = QStringLiteral("devices[%1].slots").arg(i);
        if (SessionResult checked = PlanEntries(manifestPath, device.entries, where, exact,
                                                planned.steps);
            !checked.ok())
            return checked;
        plan.devices.push_back(std::move(planned));
    }
    return {};
}

bool ManifestMapsDevices(const QString& manifestPath) {
    ManifestJob job;
    return ReadManifest(manifestPath, job).ok() && job.perDevice;
}

StepResult RunApplyStep(CliSession& session, const ApplyStep& step, bool verify) {
    StepResult result;
    if (step.action == ApplyStep::Remove) {
        result.failure = session.Remove(step.slot);
    } else {
        result.failure = session.Write(step.slot, step.path);
        if (result.failure.ok() && verify) {
            result.failure = Verify(session, step);
            result.verified = result.failure.ok();
        }
    }
    result.status = result.failure.ok() ? StepStatus::Done : StepStatus::Failed;
    return result;
}
