// summary FILE...: what the slot lists would show for local files, without a device; what
// each file is, and which keys and certificates among them belong together.

#include <QJsonArray>
#include <utility>
#include <vector>

#include "CommandContext.h"
#include "Commands.h"
#include "ProblemReport.h"
#include "SlotJson.h"
#include "certs/Credential.h"
#include "certs/LocalSlotFile.h"
#include "certs/SummaryCommand.h"
#include "support/Text.h"

namespace {

struct Items {
    QStringList names;
    std::vector<Credential> credentials;
    std::vector<std::vector<size_t>> pairs;
    bool anyCertificate = false;

    void Add(const QString& name, const QByteArray& bytes) {
        names << name;
        credentials.push_back(ReadCredential(bytes));
        anyCertificate = anyCertificate || credentials.back().kind == Credential::Certificate;
    }
    void Pair() { pairs = KeyCertificatePairs(credentials); }
    QStringList Partners(size_t i) const {
        QStringList partners;
        for (const size_t other : pairs[i]) partners << names[static_cast<qsizetype>(other)];
        return partners;
    }
};

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

QString KindLine(const Items& items, size_t i) {
    // A file name may hold a line break; the report keeps one line per file.
    const QString name = OneLine(items.names[static_cast<qsizetype>(i)]);
    const Credential& item = items.credentials[i];
    const QString partners = items.Partners(i).join(QStringLiteral(", "));
    switch (item.kind) {
        case Credential::Certificate:
            return QStringLiteral("%1 is a certificate (%2)").arg(name, item.algorithm) +
                   (partners.isEmpty() ? QString()
                                       : QStringLiteral(", the certificate of ") + partners);
        case Credential::PrivateKey:
            return QStringLiteral("%1 is a key (%2)").arg(name, item.algorithm) +
                   (!partners.isEmpty()    ? QStringLiteral(", the key of ") + partners
                    : items.anyCertificate ? QStringLiteral(", the key of none of the certificates")
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

int SummaryText(const CommandContext& context) {
    std::vector<std::pair<QString, QByteArray>> loaded;
    const int code =
        RunSummaryCommand(context.options.arguments, context.out, context.err, &loaded);
    if (code == SUMMARY_EXIT_USAGE) return CLI_USAGE;
    Items items;
    for (const auto& [name, bytes] : loaded) items.Add(name, bytes);
    items.Pair();
    for (size_t i = 0; i < items.credentials.size(); ++i) context.out << KindLine(items, i) << "\n";
    return code == SUMMARY_EXIT_OK ? CLI_OK : CLI_LOCAL_FILE;
}

}  // namespace

int RunSummaryCommand(const CommandContext& context) {
    if (!context.options.json) return SummaryText(context);
    if (context.options.arguments.isEmpty())
        return context.Fail(CLI_USAGE, QStringLiteral("summary needs FILE..."));
    QJsonArray files;
    std::vector<qsizetype> entryOf;  // the entry of each item
    Items items;
    int code = CLI_OK;
    for (const QString& path : context.options.arguments) {
        const SlotFileRead read = ReadSlotFile(path);
        QJsonObject object;
        if (read.status == SlotFileRead::Loaded) {
            object = BytesJson(read.bytes);
            items.Add(path, read.bytes);
            entryOf.push_back(files.size());
        } else {
            const QString error = read.status == SlotFileRead::TooLarge
                                      ? QStringLiteral("too large for a slot")
                                      : QStringLiteral("cannot read (%1)").arg(read.error);
            object.insert(QStringLiteral("error"), error);
            code = context.Fail(CLI_LOCAL_FILE, OneLine(path) + QStringLiteral(": ") + error);
        }
        object.insert(QStringLiteral("file"), path);
        files.append(object);
    }
    items.Pair();
    for (size_t i = 0; i < items.credentials.size(); ++i) {
        QJsonObject object = files[entryOf[i]].toObject();
        const Credential& item = items.credentials[i];
        object.insert(QStringLiteral("kind"), KindName(item.kind));
        object.insert(QStringLiteral("algorithm"), TextOrNull(item.algorithm));
        object.insert(QStringLiteral("matches"), QJsonArray::fromStringList(items.Partners(i)));
        files[entryOf[i]] = object;
    }
    context.PrintJson({{QStringLiteral("files"), files},
                       {QStringLiteral("problems"),
                        ProblemsJson(CheckLooseCredentials(items.credentials), &items.names)}});
    return code;
}
