// The credential checks through each command against the simulated device: what apply and
// restore refuse and what they send first, what check and summary name.

#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "CliRig.h"
#include "TestCredentials.h"

namespace {

QString Column(const QJsonObject& document, const QString& list, const QString& field) {
    QStringList values;
    for (const QJsonValue& entry : document.value(list).toArray())
        values << entry.toObject().value(field).toString();
    return values.join(u' ');
}

class CliCredentials : public CliAgainstDevice {
protected:
    void SetUp() override {
        CliAgainstDevice::SetUp();
        const QByteArray expired =
            TestCertificate({"device.test", "Test CA", TestKey::RsaA, TestKey::Ca, -400, -2});
        files = {{"server.crt", server},
                 {"ca.crt", ca},
                 {"expired.crt", expired},
                 {"server.key", TestKeyBytes(TestKey::RsaA, KeyForm::Pkcs8Pem)},
                 {"other.key", TestKeyBytes(TestKey::RsaB, KeyForm::Pkcs8Der)},
                 {"enc.key", TestKeyBytes(TestKey::RsaA, KeyForm::EncryptedPkcs8Pem)},
                 {"other-ca.crt", TestAuthority(TestKey::OtherCa)},
                 {"ecparam.key", TestKeyParameters(TestKey::EcA) +
                                     TestKeyBytes(TestKey::EcA, KeyForm::TraditionalPem)}};
        ASSERT_TRUE(QDir().mkpath(Path("enc")));
        for (const auto& [name, bytes] : files) {
            ASSERT_FALSE(bytes.isEmpty()) << name;
            ASSERT_TRUE(WriteAll(Path(name), bytes));
            ASSERT_TRUE(WriteAll(Path("enc/") + QLatin1String(name), bytes));
        }
        ASSERT_TRUE(WriteAll(Path("enc/manifest.json"),
                             R"({"version": 1, "slots": [{"slot": 0, "file": "server.crt"},
                                 {"slot": 1, "file": "enc.key"}, {"slot": 2, "file": "ca.crt"}]})"));
    }
    QByteArray File(const char* name) const {
        for (const auto& [file, bytes] : files)
            if (std::string_view(file) == name) return bytes;
        return {};
    }

    const QByteArray server = TestCertificate({});
    const QByteArray ca = TestAuthority();
    std::vector<std::pair<const char*, QByteArray>> files;
};

TEST_F(CliCredentials, EachCommandNamesTheProblemsAndOnlyAnErrorRefuses) {
    enum Sent { Nothing, NothingThatChanges, Changes };
    struct Case {
        const char* arguments;                            // @ stands for the test's folder
        std::vector<std::pair<int, const char*>> device;  // slot and file it holds first
        int code;
        const char* problems;  // their codes in order
        const char* column;    // list.field of the JSON output, and its values
        const char* values;
        Sent sent;
    };
    const Case cases[] = {
        {"apply --slot 0=@server.crt --slot 1=@other.key --slot 2=@ca.crt",
         {},
         CLI_CREDENTIALS,
         "key-mismatch",
         "slots.status",
         "not attempted not attempted not attempted",
         Nothing},
        {"apply --no-checks --slot 0=@server.crt --slot 1=@other.key --slot 2=@ca.crt",
         {},
         CLI_OK,
         "key-mismatch",
         "slots.status",
         "done done done",
         Changes},
        {"apply --slot 0=@server.crt --slot 1=@server.key",
         {},
         CLI_OK,
         "issuer-missing",
         "slots.status",
         "done done",
         Changes},
        // The key alone is compared with the certificate the device holds.
        {"apply --slot 1=@other.key",
         {{0, "server.crt"}, {2, "ca.crt"}},
         CLI_CREDENTIALS,
         "key-mismatch",
         "slots.status",
         "not attempted",
         NothingThatChanges},
        {"restore @enc",
         {},
         CLI_CREDENTIALS,
         "key-encrypted",
         "slots.file",
         "server.crt enc.key ca.crt",
         Nothing},
        {"check",
         {{0, "expired.crt"}, {1, "other.key"}, {2, "ca.crt"}},
         CLI_EXPIRING,
         "key-mismatch certificate-expired",
         "certificates.status",
         "expired ok",
         NothingThatChanges},
        {"check",
         {{0, "server.crt"}, {1, "enc.key"}, {2, "ca.crt"}},
         CLI_CREDENTIALS,
         "key-encrypted",
         "certificates.status",
         "ok ok",
         NothingThatChanges},
        {"summary @server.crt @server.key @other.key @enc.key",
         {},
         CLI_OK,
         "key-mismatch key-encrypted",
         "files.kind",
         "certificate key key encrypted-key",
         Nothing},
        // Slot 0 is read from the device, then slots 2-14, which hold no verifying issuer.
        {"apply --slot 5=@other-ca.crt",
         {{0, "server.crt"}},
         CLI_CREDENTIALS,
         "issuer-signature-invalid",
         "slots.status",
         "not attempted",
         NothingThatChanges},
        {"summary @expired.crt @ecparam.key",
         {},
         CLI_OK,
         "certificate-expired key-mismatch",
         "files.kind",
         "certificate key",
         Nothing},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        std::vector<std::pair<int, QByteArray>> held;
        for (const auto& [slot, name] : c.device) held.emplace_back(slot, File(name));
        ASSERT_TRUE(StartDevice({}, SimOptions::Content::Empty, held));
        const QByteArray keyBefore = sim->device.Slot(1);
        const CliResult r = RunOnPort(
            QStringList{QStringLiteral("--yes"), QStringLiteral("--json")} +
            QString::fromLatin1(c.arguments).replace(u'@', dir.path() + u'/').split(u' '));
        EXPECT_EQ(r.code, c.code) << r.err.toStdString();
        const QJsonObject document = QJsonDocument::fromJson(r.out.toUtf8()).object();
        EXPECT_EQ(Column(document, QStringLiteral("problems"), QStringLiteral("code")),
                  QLatin1String(c.problems))
            << r.out.toStdString();
        const QStringList column = QString::fromLatin1(c.column).split(u'.');
        EXPECT_EQ(Column(document, column[0], column[1]), QLatin1String(c.values));
        // A refused job names each problem on standard error too.
        if (c.code == CLI_CREDENTIALS && std::string_view(c.column).starts_with("slots.")) {
            EXPECT_TRUE(r.err.contains(QLatin1String(c.problems))) << r.err.toStdString();
        }
        sim->Stop();
        const QStringList frames = deviceLog.filter(QStringLiteral("<- "));
        if (c.sent == Nothing) {
            EXPECT_EQ(frames, QStringList());
        }
        EXPECT_EQ(frames.filter(QStringLiteral("CMD:9130")).isEmpty(), c.sent != Changes);
        EXPECT_EQ(sim->device.Slot(1) == keyBefore, c.sent != Changes);
        EXPECT_TRUE(sim->device.FrameErrors().isEmpty());
    }
}

TEST_F(CliCredentials, TextOfAProblemNamesItsSlotsAndCode) {
    ASSERT_TRUE(StartDevice({}, SimOptions::Content::Empty,
                            {{0, server}, {1, File("other.key")}, {2, ca}}));
    const CliResult check = RunOnPort({QStringLiteral("check")});
    EXPECT_EQ(check.code, CLI_CREDENTIALS);
    EXPECT_EQ(check.Lines().mid(2),
              QStringList{QStringLiteral("error: slots 0, 1: key-mismatch: the key in slot 1 does "
                                         "not belong to the certificate in slot 0")});
    EXPECT_EQ(check.err, QStringLiteral("quillbank-cli: 1 credential error(s) on the device\n"));

    const CliResult summary =
        Run({QStringLiteral("summary"), Path("server.crt"), Path("server.key"), Path("other.key")});
    EXPECT_EQ(summary.code, CLI_OK);
    EXPECT_EQ(
        summary.Lines().mid(3),
        (QStringList{Path("server.crt") +
                         QStringLiteral(" is a certificate (RSA 1024), the certificate of ") +
                         Path("server.key"),
                     Path("server.key") + QStringLiteral(" is a key (RSA 1024), the key of ") +
                         Path("server.crt"),
                     Path("other.key") + QStringLiteral(" is a key (RSA 1024), the key of "
                                                        "none of the certificates")}));
}

}  // namespace
