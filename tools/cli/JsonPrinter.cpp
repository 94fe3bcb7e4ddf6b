// The reports as one JSON document each on standard output, indented, with the fields of
// the documented lists in a fixed order.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <optional>

#include "Printers.h"
#include "ProblemReport.h"
#include "SlotJson.h"
#include "certs/SlotFacts.h"
#include "support/Text.h"

namespace {

QString KindName(Credential::Kind kind) {
    switch (kind) {
        case Credential::Certificate:
            return QStringLiteral("certificate");
        case Credential::PrivateKey:
            return QStringLiteral("key");
        case Credential::EncryptedKey:
            return QStringLiteral("encrypted-key");
        case Credential::Empty:
        case Credential::Neither:
            break;
    }
    return QStringLiteral("neither");
}

const char* ExpiryName(CheckReport::Expiry expiry) {
    switch (expiry) {
        case CheckReport::Expiry::Expired:
            return "expired";
        case CheckReport::Expiry::Expiring:
            return "expiring";
        case CheckReport::Expiry::Ok:
            break;
    }
    return "ok";
}

// Each report as its document; none for a report with nothing to show, or one that has no
// JSON form (printed as text instead).
struct JsonPrinter {
    using Document = std::optional<QJsonObject>;
    QTextStream& out;
    QTextStream& err;

    void Tell(const QString& line) const {
        err << "quillbank-cli: " << line << "\n";
        err.flush();
    }

    Document operator()(std::monostate) const { return std::nullopt; }

    Document operator()(const PortsReport& report) const {
        QJsonArray ports;
        for (const ComDeviceInfo& info : report.ports)
            ports.append(QJsonObject{
                {QStringLiteral("name"), info.portName},
                {QStringLiteral("location"), info.location},
                {QStringLiteral("description"), info.friendlyName},
                {QStringLiteral("hardwareIds"), QJsonArray::fromStringList(info.hardwareIds)},
                {QStringLiteral("device"), !MatchingPorts({info}).empty()}});
        return QJsonObject{{QStringLiteral("ports"), ports}};
    }

    Document operator()(const ListReport& report) const {
        QJsonArray slots;
        for (int slot = 0; slot < SLOT_COUNT; ++slot)
            slots.append(SlotJson(slot, report.slots[static_cast<size_t>(slot)].bytes));
        return QJsonObject{{QStringLiteral("port"), report.port},
               {QStringLiteral("complete"), report.complete},
               {QStringLiteral("slots"), slots}};
    }

    // read, write and remove have no JSON form (the command line refuses --json for them).
    Document operator()(const SlotReport& report) const {
        PrintText(report, out, err);
        return std::nullopt;
    }

    Document operator()(const SummaryReport& report) const {
        if (report.files.empty()) {
            Tell(QStringLiteral("summary needs FILE..."));
            return std::nullopt;
        }
        QJsonArray files;
        std::vector<qsizetype> entryOf;  // the entry of each item
        for (const SummaryReport::File& file : report.files) {
            const SlotFileRead& read = file.read;
            QJsonObject object;
            if (read.status == SlotFileRead::Loaded) {
                object = BytesJson(read.bytes);
                entryOf.push_back(files.size());
            } else {
                const QString error = read.status == SlotFileRead::TooLarge
                                          ? QStringLiteral("too large for a slot")
                                          : QStringLiteral("cannot read (%1)").arg(read.error);
                object.insert(QStringLiteral("error"), error);
                Tell(OneLine(file.path) + QStringLiteral(": ") + error);
            }
            object.insert(QStringLiteral("file"), file.path);
            files.append(object);
        }
        for (size_t i = 0; i < report.credentials.size(); ++i) {
            QJsonObject object = files[entryOf[i]].toObject();
            const Credential& item = report.credentials[i];
            object.insert(QStringLiteral("kind"), KindName(item.kind));
            object.insert(QStringLiteral("algorithm"), TextOrNull(item.algorithm));
            object.insert(QStringLiteral("matches"),
                          QJsonArray::fromStringList(report.Partners(i)));
            files[entryOf[i]] = object;
        }
        return QJsonObject{{QStringLiteral("files"), files},
               {QStringLiteral("problems"), ProblemsJson(report.problems, &report.names)}};
    }

    Document operator()(const ApplyReport& report) const {
        QJsonArray slots;
        for (size_t i = 0; i < report.steps.size(); ++i) {
            const ApplyStep& step = report.steps[i];
            const StepResult& result = report.results[i];
            QJsonObject object =
                step.action == ApplyStep::Write ? BytesJson(step.bytes) : QJsonObject();
            object.insert(QStringLiteral("slot"), step.slot);
            object.insert(QStringLiteral("label"), SlotLabel(step.slot));
            object.insert(QStringLiteral("action"), step.action == ApplyStep::Write
                                                        ? QStringLiteral("write")
                                                        : QStringLiteral("remove"));
            if (step.action == ApplyStep::Write) object.insert(QStringLiteral("file"), step.file);
            object.insert(QStringLiteral("status"),
                          QString::fromLatin1(StepStatusText(result.status)));
            object.insert(QStringLiteral("verified"), result.verified);
            object.insert(QStringLiteral("error"), TextOrNull(result.failure.message));
            slots.append(object);
        }
        return QJsonObject{{QStringLiteral("port"), TextOrNull(report.port)},
               {QStringLiteral("verify"), report.verify},
               {QStringLiteral("slots"), slots},
               {QStringLiteral("problems"), ProblemsJson(report.problems)}};
    }

    Document operator()(const BackupReport& report) const {
        return QJsonObject{{QStringLiteral("port"), report.port},
               {QStringLiteral("folder"), report.folder},
               {QStringLiteral("manifest"), report.manifestPath},
               {QStringLiteral("slots"), report.manifestSlots}};
    }

    Document operator()(const CheckReport& report) const {
        QJsonArray certificates;
        for (int slot = 0; slot < SLOT_COUNT; ++slot) {
            const QByteArray& bytes = report.copies[static_cast<size_t>(slot)];
            const SlotFacts facts = DescribeSlotBytes(bytes);
            if (!facts.expiresUtc) continue;
            const CheckReport::Standing standing = report.StandingOf(*facts.expiresUtc);
            QJsonObject object = SlotJson(slot, bytes);
            object.insert(QStringLiteral("status"),
                          QString::fromLatin1(ExpiryName(standing.expiry)));
            object.insert(QStringLiteral("daysLeft"), standing.daysLeft);
            certificates.append(object);
        }
        return QJsonObject{{QStringLiteral("port"), report.port},
               {QStringLiteral("days"), report.days},
               {QStringLiteral("complete"), report.complete},
               {QStringLiteral("certificates"), certificates},
               {QStringLiteral("problems"), ProblemsJson(report.problems)}};
    }
};

}  // namespace

std::optional<QJsonObject> ReportJson(const Report& report, QTextStream& out, QTextStream& err) {
    return std::visit(JsonPrinter{out, err}, report);
}

void PrintJson(const Report& report, QTextStream& out, QTextStream& err) {
    if (const std::optional<QJsonObject> document = ReportJson(report, out, err))
        out << QString::fromUtf8(QJsonDocument(*document).toJson(QJsonDocument::Indented));
    out.flush();
    err.flush();
}
