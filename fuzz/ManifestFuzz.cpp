// manifest.json as `apply` and `restore` read it: any text, as a file a user was sent, in
// either form (slots, or devices each with their slots).

#include <QByteArray>
#include <QDir>
#include <QRegularExpression>
#include <QString>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <vector>

#include "engine/SlotTable.h"
#include "session/Manifest.h"

namespace {

[[noreturn]] void Finding(const char* what, const QString& error) {
    std::fprintf(stderr, "manifest invariant broken: %s\nerror: %s\n", what,
                 error.toUtf8().constData());
    std::abort();
}

void Check(bool holds, const char* what, const QString& error) {
    if (!holds) Finding(what, error);
}

// Whether `file`, read against some folder, could name something outside it: absolute (also
// as Windows spells it) or climbing out once "." and ".." are resolved.
bool Escapes(QString file) {
    file.replace(u'\\', u'/');
    const char16_t first = file.isEmpty() ? u'\0' : file[0].toLower().unicode();
    const bool drive = file.size() >= 2 && file[1] == u':' && first >= u'a' && first <= u'z';
    if (QDir::isAbsolutePath(file) || drive) return true;
    const QString clean = QDir::cleanPath(QStringLiteral("folder/") + file);
    return clean != QLatin1String("folder") && !clean.startsWith(QLatin1String("folder/"));
}

bool SameEntries(const std::vector<ManifestEntry>& a, const std::vector<ManifestEntry>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].slot != b[i].slot || a[i].file != b[i].file || a[i].remove != b[i].remove ||
            a[i].size != b[i].size || a[i].sha256 != b[i].sha256)
            return false;
    }
    return true;
}

// What apply acts on: each slot once, within 0-14, a file or a removal but not both, no
// file outside the manifest's folder, sizes not negative, digests as 64 lower-case digits.
void CheckEntries(const std::vector<ManifestEntry>& entries, const QString& error) {
    static const QRegularExpression digest(QStringLiteral("^[0-9a-f]{64}$"));
    std::set<int> slots;
    for (const ManifestEntry& entry : entries) {
        Check(entry.slot >= 0 && entry.slot < SLOT_COUNT, "a slot outside 0-14", error);
        Check(slots.insert(entry.slot).second, "a slot named twice", error);
        Check(!(entry.remove && !entry.file.isEmpty()), "both a file and a removal", error);
        Check(entry.file.isEmpty() || !Escapes(entry.file), "a file outside the folder", error);
        Check(!entry.size || *entry.size >= 0, "a negative size", error);
        Check(entry.sha256.isEmpty() || digest.match(entry.sha256).hasMatch(),
              "a digest that is not 64 lower-case digits", error);
    }
}

bool SameJob(const ManifestJob& a, const ManifestJob& b) {
    if (a.perDevice != b.perDevice || !SameEntries(a.entries, b.entries) ||
        a.devices.size() != b.devices.size())
        return false;
    for (size_t i = 0; i < a.devices.size(); ++i)
        if (a.devices[i].serialNumber != b.devices[i].serialNumber ||
            a.devices[i].port != b.devices[i].port ||
            !SameEntries(a.devices[i].entries, b.devices[i].entries))
            return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size) {
    const QByteArray text(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    ManifestJob job;
    QString error;
    const bool parsed = ParseManifestJob(text, job, error);

    if (!parsed) {
        // The reason is one line for a user, whatever the file holds.
        Check(!error.isEmpty(), "refused without a reason", error);
        for (const QChar c : error)
            Check(c.category() != QChar::Other_Control && c.category() != QChar::Separator_Line &&
                      c.category() != QChar::Separator_Paragraph,
                  "the reason is more than one line", error);
        return 0;
    }

    CheckEntries(job.entries, error);
    Check(job.perDevice || job.devices.empty(), "devices in a manifest of slots", error);
    Check(!job.perDevice || job.entries.empty(), "slots beside devices", error);
    for (size_t i = 0; i < job.devices.size(); ++i) {
        const ManifestDevice& device = job.devices[i];
        Check(device.serialNumber.isEmpty() != device.port.isEmpty(),
              "a device named by both or neither", error);
        for (size_t j = 0; j < i; ++j)
            Check(job.devices[j].serialNumber != device.serialNumber ||
                      job.devices[j].port != device.port,
                  "a device named twice", error);
        CheckEntries(device.entries, error);
    }
    // A backup's reader takes the slots form only, and reads it the same.
    std::vector<ManifestEntry> slots;
    QString slotsError;
    Check(ParseManifest(text, slots, slotsError) != job.perDevice, "the forms told apart wrongly",
          slotsError);
    Check(job.perDevice || SameEntries(slots, job.entries), "the slots read differently",
          slotsError);
    ManifestJob again;
    QString secondError;
    Check(ParseManifestJob(text, again, secondError) && SameJob(job, again),
          "the same text read differently", secondError);
    return 0;
}
