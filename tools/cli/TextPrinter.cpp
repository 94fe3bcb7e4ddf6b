// The reports as lines of text: one line per port, slot, file or step.

#include <algorithm>

#include "Printers.h"
#include "ProblemReport.h"
#include "certs/InformationCell.h"
#include "certs/SlotFacts.h"
#include "certs/SummaryCommand.h"
#include "support/Text.h"

namespace {

QString KindLine(const SummaryReport& report, size_t i) {
    // A file name may hold a line break; the report keeps one line per file.
    const QString name = OneLine(report.names[static_cast<qsizetype>(i)]);
    const Credential& item = report.credentials[i];
    const QString partners = report.Partners(i).join(QStringLiteral(", "));
    switch (item.kind) {
        case Credential::Certificate:
            return QStringLiteral("%1 is a certificate (%2)").arg(name, item.algorithm) +
                   (partners.isEmpty() ? QString()
                                       : QStringLiteral(", the certificate of ") + partners);
        case Credential::PrivateKey:
            return QStringLiteral("%1 is a key (%2)").arg(name, item.algorithm) +
                   (!partners.isEmpty() ? QStringLiteral(", the key of ") + partners
                    : report.AnyCertificate()
                        ? QStringLiteral(", the key of none of the certificates")
                        : QString());
        case Credential::EncryptedKey:
            return name + QStringLiteral(" is an encrypted key, which the device cannot open");
        case Credential::Empty:
            return name + QStringLiteral(" is empty");
        case Credential::Neither:
            break;
    }
    return name + QStringLiteral(" is neither a certificate nor a key");
}

// The Information cell of a slot as the engine held it.
QString CellText(const HeldSlot& held) {
    FileSlot slot;
    slot.nStatus = held.status;
    slot.nSize = static_cast<std::uint16_t>(held.size);
    if (!held.bytes.isEmpty())
        std::copy_n(held.bytes.constData(),
                    std::min<qsizetype>(held.bytes.size(), SLOT_BUFFER_SIZE),
                    reinterpret_cast<char*>(slot.EnsureBuffer()));
    return InformationCellText(slot);
}

struct TextPrinter {
    QTextStream& out;
    QTextStream& err;

    void operator()(std::monostate) const {}

    void operator()(const PortsReport& report) const {
        for (const ComDeviceInfo& info : report.ports) {
            const bool matches = !MatchingPorts({info}).empty();
            out << (matches ? "* " : "  ") << info.portName << "\t" << info.location << "\t"
                << info.friendlyName << "\t" << info.hardwareIds.join(u' ') << "\n";
        }
    }

    void operator()(const ListReport& report) const {
        for (int slot = 0; slot < SLOT_COUNT; ++slot) {
            QString row = QStringLiteral("%1  %2  %3")
                              .arg(slot, 2)
                              .arg(SlotLabel(slot), -13)
                              .arg(CellText(report.slots[static_cast<size_t>(slot)]));
            while (row.endsWith(u' ')) row.chop(1);
            out << row << "\n";
        }
    }

    void operator()(const SlotReport& report) const {
        switch (report.action) {
            case SlotReport::Saved:
                out << "slot " << report.slot << " saved to " << report.file << " (" << report.size
                    << " bytes)\n";
                break;
            case SlotReport::Written:
                out << "slot " << report.slot << " written from " << report.file << " ("
                    << report.size << " bytes)\n";
                break;
            case SlotReport::Removed:
                out << "slot " << report.slot << " removed\n";
                break;
        }
    }

    void operator()(const SummaryReport& report) const {
        if (report.files.empty()) {
            err << SUMMARY_USAGE;
            return;
        }
        for (const SummaryReport::File& file : report.files)
            PrintSummaryLine(file.path, file.read, out, err);
        out.flush();
        err.flush();
        for (size_t i = 0; i < report.credentials.size(); ++i) out << KindLine(report, i) << "\n";
    }

    void operator()(const ApplyReport& report) const {
        for (size_t i = 0; i < report.steps.size(); ++i) {
            const ApplyStep& step = report.steps[i];
            const StepResult& result = report.results[i];
            out << QStringLiteral("%1  ").arg(step.slot, 2);
            if (step.action == ApplyStep::Write)
                out << "write  " << OneLine(step.file) << " (" << step.bytes.size()
                    << " bytes, sha256 " << Sha256Hex(step.bytes) << "): ";
            else
                out << "remove: ";
            out << StepStatusText(result.status);
            if (result.verified) out << ", verified";
            if (result.status == StepStatus::Failed && !result.failure.message.isEmpty())
                out << " (" << result.failure.message << ")";
            out << "\n";
        }
    }

    void operator()(const BackupReport& report) const {
        for (const BackupReport::Saved& saved : report.saved)
            out << QStringLiteral("slot %1 saved to %2 (%3 bytes)\n")
                       .arg(saved.slot)
                       .arg(saved.path)
                       .arg(saved.size);
        out << "manifest saved to " << report.manifestPath << "\n";
    }

    void operator()(const CheckReport& report) const {
        int seen = 0;
        for (int slot = 0; slot < SLOT_COUNT; ++slot) {
            const SlotFacts facts = DescribeSlotBytes(report.copies[static_cast<size_t>(slot)]);
            if (!facts.expiresUtc) continue;
            ++seen;
            const CheckReport::Standing standing = report.StandingOf(*facts.expiresUtc);
            out << QStringLiteral("%1  %2  expires %3  ")
                       .arg(slot, 2)
                       .arg(SlotLabel(slot), -13)
                       .arg(IsoUtcText(*facts.expiresUtc));
            switch (standing.expiry) {
                case CheckReport::Expiry::Expired:
                    out << "EXPIRED\n";
                    break;
                case CheckReport::Expiry::Expiring:
                    out << "EXPIRES WITHIN " << report.days << " DAYS (" << standing.daysLeft
                        << " days left)\n";
                    break;
                case CheckReport::Expiry::Ok:
                    out << "ok (" << standing.daysLeft << " days left)\n";
                    break;
            }
        }
        if (seen == 0) out << "no certificates on the device\n";
        for (const CredentialProblem& problem : report.problems)
            out << ProblemLine(problem) << "\n";
    }
};

}  // namespace

const char* StepStatusText(StepStatus status) {
    switch (status) {
        case StepStatus::Done:
            return "done";
        case StepStatus::Failed:
            return "failed";
        case StepStatus::NotAttempted:
            break;
    }
    return "not attempted";
}

void PrintText(const Report& report, QTextStream& out, QTextStream& err) {
    std::visit(TextPrinter{out, err}, report);
    out.flush();
    err.flush();
}
