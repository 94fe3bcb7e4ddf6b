#include <openssl/evp.h>
#include <openssl/x509.h>

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <map>
#include <vector>

#include "DeviceSimulator.h"
#include "RawHost.h"
#include "SimFaults.h"

namespace {
// Value of `key` in the first answer line, or "<none>".
std::string Field(const std::string& answer, const std::string& key) {
    const size_t start = answer.find(key + ":");
    if (start == std::string::npos) return "<none>";
    const size_t from = start + key.size() + 1;
    return answer.substr(from, answer.find_first_of(",\r", from) - from);
}

bool SumVerifies(const std::string& line) {
    const size_t at = line.find("SUM:");
    if (at == std::string::npos) return false;
    unsigned sum = 0;
    for (size_t i = 0; i < at; ++i) sum += static_cast<unsigned char>(line[i]);
    return std::stoul(line.substr(at + 4, 2), nullptr, 16) == (sum & 0xFF);
}

QByteArray Pattern(int size, int seed) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + seed) & 0xFF);
    return bytes;
}

// A simulator with its line open by a raw host.
struct Rig {
    DeviceSimulator device;
    std::unique_ptr<RawHost> host;
    explicit Rig(SimOptions options = {}) : device(std::move(options)) {
        if (device.Open()) host = std::make_unique<RawHost>(device.PortPath());
    }
    bool ok() const { return host && host->ok(); }
    std::string Ask(const std::string& head) { return host->Ask(device, head); }
};
}  // namespace

TEST(SimulatorProtocol, ConnectReadInPiecesWriteAndRemove) {
    SimOptions options;
    options.pieceSize = 100;
    Rig rig(options);
    ASSERT_TRUE(rig.ok());
    const QByteArray file = Pattern(250, 3);
    rig.device.SetSlot(4, file);

    EXPECT_EQ(rig.Ask("CMD:0000,CNT:00,DATA:FFFF000000,"), "CMD:0000,RES:OK,SUM:E4\r\n");
    EXPECT_EQ(rig.Ask("CMD:9330,CNT:01,POS:0084,"), "CMD:9330,RES:OK,SUM:F3\r\n");
    QByteArray received;
    for (int count = 2; count <= 5; ++count) {
        char head[40];
        std::snprintf(head, sizeof head, "CMD:9030,CNT:%02X,POS:0004,", count);
        const std::string answer = rig.Ask(head);
        ASSERT_TRUE(SumVerifies(answer)) << answer;
        EXPECT_EQ(Field(answer, "CMD"), "9030");
        EXPECT_EQ(Field(answer, "RES"), "OK");
        EXPECT_EQ(Field(answer, "PALL"), "00FA");
        received += QByteArray::fromHex(QByteArray::fromStdString(Field(answer, "DATA")));
    }
    // Pieces of 100, 100, 50, then an empty one past the end.
    EXPECT_EQ(received, file);
    EXPECT_EQ(rig.Ask("CMD:9430,CNT:06,POS:0004,"), "CMD:9430,RES:OK,SUM:F4\r\n");

    EXPECT_EQ(Field(rig.Ask("CMD:9330,CNT:07,POS:0009,"), "RES"), "OK");
    EXPECT_EQ(Field(rig.Ask("CMD:9130,CNT:08,POS:0009,DATA:616263,"), "RES"), "OK");
    EXPECT_EQ(Field(rig.Ask("CMD:9130,CNT:09,POS:0009,DATA:FF00,"), "RES"), "OK");
    EXPECT_TRUE(rig.device.Slot(9).isEmpty()) << "stored only when closed";
    // The write step that finds the file exhausted takes a count: the close is two ahead.
    EXPECT_EQ(Field(rig.Ask("CMD:9430,CNT:0B,POS:0009,"), "RES"), "OK");
    EXPECT_EQ(rig.device.Slot(9), QByteArray("abc\xFF\x00", 5));

    EXPECT_EQ(rig.Ask("CMD:9530,CNT:0C,POS:0004,"), "CMD:9530,RES:OK,SUM:F5\r\n");
    EXPECT_TRUE(rig.device.Slot(4).isEmpty());
    EXPECT_EQ(rig.device.FramesReceived(), 12);
    EXPECT_TRUE(rig.device.FrameErrors().isEmpty()) << rig.device.FrameErrors().join(u'\n').toStdString();
}

TEST(SimulatorProtocol, RefusesRequestsThatDoNotFitItsState) {
    Rig rig;
    ASSERT_TRUE(rig.ok());
    rig.device.SetSlot(2, Pattern(10, 1));
    EXPECT_EQ(Field(rig.Ask("CMD:0000,CNT:00,DATA:FFFF000000,"), "RES"), "OK");
    EXPECT_EQ(Field(rig.Ask("CMD:9330,CNT:01,POS:0083,"), "RES"), "NG") << "empty slot";
    EXPECT_EQ(Field(rig.Ask("CMD:9030,CNT:02,POS:0002,"), "RES"), "NG") << "nothing open";
    EXPECT_EQ(Field(rig.Ask("CMD:9330,CNT:03,POS:008F,"), "RES"), "NG") << "no slot 15";
    EXPECT_EQ(Field(rig.Ask("CMD:9330,CNT:04,POS:0082,"), "RES"), "OK");
    EXPECT_EQ(Field(rig.Ask("CMD:9130,CNT:05,POS:0002,DATA:00,"), "RES"), "NG")
        << "opened for reading";
    EXPECT_EQ(Field(rig.Ask("CMD:9030,CNT:06,POS:0003,"), "RES"), "NG") << "another slot";
    EXPECT_EQ(Field(rig.Ask("CMD:9430,CNT:07,POS:0002,"), "RES"), "OK");
    EXPECT_EQ(Field(rig.Ask("CMD:9430,CNT:08,POS:0002,"), "RES"), "NG") << "closed already";

    // A slot holds at most 6144 bytes: the piece that would overflow it is refused.
    EXPECT_EQ(Field(rig.Ask("CMD:9330,CNT:09,POS:0005,"), "RES"), "OK");
    const std::string piece = "DATA:" + std::string(512, 'A') + ",";
    int count = 0x0A;
    for (int i = 0; i < 24; ++i) {
        char head[40];
        std::snprintf(head, sizeof head, "CMD:9130,CNT:%02X,POS:0005,", count++ & 0xFF);
        EXPECT_EQ(Field(rig.Ask(head + piece), "RES"), "OK") << i;
    }
    char head[40];
    std::snprintf(head, sizeof head, "CMD:9130,CNT:%02X,POS:0005,", count++ & 0xFF);
    EXPECT_EQ(Field(rig.Ask(head + std::string("DATA:00,")), "RES"), "NG");
    std::snprintf(head, sizeof head, "CMD:9430,CNT:%02X,POS:0005,", count++ & 0xFF);
    EXPECT_EQ(Field(rig.Ask(head), "RES"), "OK");
    EXPECT_EQ(rig.device.Slot(5).size(), DeviceSimulator::SLOT_CAPACITY);
    EXPECT_TRUE(rig.device.FrameErrors().isEmpty());
}

TEST(SimulatorChecks, CorruptFramesAreReportedAndNotAnswered) {
    Rig rig;
    ASSERT_TRUE(rig.ok());
    const std::vector<std::string> bad = {
        "CMD:0000,CNT:00,DATA:FFFF000000,SUM:5E\r\n",  // wrong checksum
        "CMD:9330,CNT:01,POS:0082,SUM:D8\n\r\n",       // LF before the CR LF
        "CMD:9330,CNT:01,POS:0082,SUM:D8\r\r\n",       // CR before the CR LF
        "CMD:9330,CNT:01,POS:82,SUM:76\r\n",           // POS not four digits
        "CMD:9130,CNT:01,POS:0002,DATA:6a,SUM:8E\r\n",  // lower-case data
        "CMD:9130,CNT:01,POS:0002,DATA:616,SUM:C1\r\n",  // odd number of digits
        std::string("CMD:9330,CNT:01,\0POS:0082,SUM:D8\r\n", 34),  // NUL inside
        "CMD:9330,CNT:01,POS:0082,RES:OK,SUM:00\r\n",  // extra field
    };
    for (const std::string& frame : bad) {
        rig.host->SendRaw(frame);
        EXPECT_EQ(rig.host->Collect(rig.device, 1, 60), "") << frame;
    }
    EXPECT_EQ(rig.device.FrameErrors().size(), static_cast<qsizetype>(bad.size()));
    EXPECT_TRUE(rig.device.FrameErrors().front().startsWith(QStringLiteral("wrong checksum")));
    // The line still works afterwards.
    EXPECT_EQ(Field(rig.Ask("CMD:0000,CNT:00,DATA:FFFF000000,"), "RES"), "OK");
}

TEST(SimulatorChecks, SequenceCountMustAdvanceByOne) {
    Rig rig;
    ASSERT_TRUE(rig.ok());
    rig.device.SetSlot(0, Pattern(4, 0));
    rig.Ask("CMD:0000,CNT:FE,DATA:FFFF000000,");  // a connect may start anywhere
    rig.Ask("CMD:9330,CNT:FF,POS:0080,");
    rig.Ask("CMD:9030,CNT:00,POS:0000,");  // wraps
    EXPECT_TRUE(rig.device.FrameErrors().isEmpty());
    rig.Ask("CMD:9430,CNT:02,POS:0000,");  // skipped one after a read: wrong
    ASSERT_EQ(rig.device.FrameErrors().size(), 1);
    EXPECT_TRUE(rig.device.FrameErrors().front().startsWith(QStringLiteral("CNT 02 where 01")));

    // Only the close of a slot opened for writing may skip one count.
    rig.Ask("CMD:9330,CNT:03,POS:0001,");
    rig.Ask("CMD:9430,CNT:05,POS:0001,");
    EXPECT_EQ(rig.device.FrameErrors().size(), 1);
    rig.Ask("CMD:9530,CNT:07,POS:0001,");
    EXPECT_EQ(rig.device.FrameErrors().size(), 2);
    rig.Ask("CMD:0000,CNT:00,DATA:FFFF000000,");
    EXPECT_EQ(rig.device.FrameErrors().size(), 2) << "a new connection restarts the count";
}

TEST(SimulatorContent, LoadsAFolderAndWritesChangesBack) {
    struct Case {
        const char* what;
        bool slot03IsLink;  // slot03 a link to a file outside the folder, else a plain file
        std::vector<std::string> frames;      // after the connect
        std::map<QString, QByteArray> files;  // afterwards; an empty value: no such file
    };
    const std::vector<Case> cases = {
        {"a write lands in its slot's file, a remove deletes the file",
         false,
         {"CMD:9330,CNT:01,POS:000E,", "CMD:9130,CNT:02,POS:000E,DATA:4142,",
          "CMD:9430,CNT:04,POS:000E,", "CMD:9530,CNT:05,POS:0003,"},
         {{QStringLiteral("slot14"), "AB"}, {QStringLiteral("slot03"), {}}}},
        {"a link at the slot's name is replaced, not written through",
         true,
         {"CMD:9330,CNT:01,POS:0003,", "CMD:9130,CNT:02,POS:0003,DATA:4142,",
          "CMD:9430,CNT:04,POS:0003,"},
         {{QStringLiteral("slot03"), "AB"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir scratch;
        ASSERT_TRUE(scratch.isValid());
        const QString folder = scratch.filePath(QStringLiteral("slots"));
        const QString outside = scratch.filePath(QStringLiteral("outside"));
        ASSERT_TRUE(QDir().mkpath(folder));
        {
            QFile f(c.slot03IsLink ? outside : folder + QStringLiteral("/slot03"));
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("third");
        }
        if (c.slot03IsLink) {
            ASSERT_TRUE(QFile::link(outside, folder + QStringLiteral("/slot03")));
        }
        SimOptions options;
        options.content = SimOptions::Content::Folder;
        options.folder = folder;
        options.persist = true;
        Rig rig(options);
        ASSERT_TRUE(rig.ok());
        EXPECT_EQ(rig.device.Slot(3), QByteArray("third"));
        EXPECT_TRUE(rig.device.Slot(0).isEmpty());

        rig.Ask("CMD:0000,CNT:00,DATA:FFFF000000,");
        for (const std::string& frame : c.frames)
            EXPECT_EQ(Field(rig.Ask(frame), "RES"), "OK") << frame;
        for (const auto& [name, content] : c.files) {
            const QFileInfo info(QDir(folder).filePath(name));
            EXPECT_FALSE(info.isSymLink()) << name.toStdString();
            EXPECT_EQ(info.exists(), !content.isEmpty()) << name.toStdString();
            if (content.isEmpty()) continue;
            QFile written(info.filePath());
            EXPECT_TRUE(written.open(QIODevice::ReadOnly)) << name.toStdString();
            EXPECT_EQ(written.readAll(), content) << name.toStdString();
        }
        EXPECT_TRUE(rig.device.FrameErrors().isEmpty());
        if (!c.slot03IsLink) continue;
        QFile kept(outside);
        ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
        EXPECT_EQ(kept.readAll(), QByteArray("third")) << "the link's target is left alone";
    }
}

TEST(SimulatorContent, RefusesToStartWithAnOversizedOrMissingFolder) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    {
        QFile f(dir.filePath(QStringLiteral("slot07")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(DeviceSimulator::SLOT_CAPACITY + 1, 'x'));
    }
    SimOptions options;
    options.content = SimOptions::Content::Folder;
    options.folder = dir.path();
    DeviceSimulator oversized(options);
    EXPECT_FALSE(oversized.Open());
    EXPECT_TRUE(oversized.LastError().contains(QStringLiteral("slot07")));

    options.folder = dir.filePath(QStringLiteral("missing"));
    DeviceSimulator missing(options);
    EXPECT_FALSE(missing.Open());
}

TEST(SimulatorContent, SampleSetHoldsRealCertificatesAndTheMatchingKey) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    SimOptions options;
    options.content = SimOptions::Content::Sample;
    options.folder = dir.path();
    DeviceSimulator device(options);
    ASSERT_TRUE(device.Open()) << device.LastError().toStdString();

    const QByteArray keyBytes = device.Slot(1);
    EXPECT_GE(keyBytes.size(), 1200);
    EXPECT_LE(keyBytes.size(), 1240);
    const auto* keyData = reinterpret_cast<const unsigned char*>(keyBytes.constData());
    EVP_PKEY* key = d2i_AutoPrivateKey(nullptr, &keyData, keyBytes.size());
    ASSERT_NE(key, nullptr);

    for (int slot : {0, 2, 3, 4, 5}) {
        const QByteArray der = device.Slot(slot);
        const auto* data = reinterpret_cast<const unsigned char*>(der.constData());
        X509* cert = d2i_X509(nullptr, &data, der.size());
        ASSERT_NE(cert, nullptr) << "slot " << slot;
        EXPECT_EQ(data, reinterpret_cast<const unsigned char*>(der.constData()) + der.size());
        if (slot == 0) {
            EXPECT_EQ(X509_check_private_key(cert, key), 1);
        }
        X509_free(cert);
    }
    EVP_PKEY_free(key);
    for (int slot = 6; slot < DeviceSimulator::SLOT_COUNT; ++slot)
        EXPECT_TRUE(device.Slot(slot).isEmpty()) << slot;
    // The set is left in the folder, where it can be picked for a write.
    QFile key1(dir.filePath(QStringLiteral("slot01")));
    ASSERT_TRUE(key1.open(QIODevice::ReadOnly));
    EXPECT_EQ(key1.readAll(), keyBytes);
}

TEST(SimulatorFaults, RefusalsHitOnlyTheirTarget) {
    SimOptions options;
    options.faults = {Fault(FaultKind::RefuseOpen, 2, 0, -1), Fault(FaultKind::RefuseWrite, -1, 1),
                      Fault(FaultKind::RefuseRemove, 6)};
    Rig rig(options);
    ASSERT_TRUE(rig.ok());
    rig.device.SetSlot(2, Pattern(5, 0));
    rig.device.SetSlot(3, Pattern(5, 1));
    rig.device.SetSlot(6, Pattern(5, 2));
    rig.Ask("CMD:0000,CNT:00,DATA:FFFF000000,");
    EXPECT_EQ(Field(rig.Ask("CMD:9330,CNT:01,POS:0082,"), "RES"), "NG");
    EXPECT_EQ(Field(rig.Ask("CMD:9330,CNT:02,POS:0002,"), "RES"), "NG") << "every time";
    EXPECT_EQ(Field(rig.Ask("CMD:9330,CNT:03,POS:0083,"), "RES"), "OK");
    rig.Ask("CMD:9430,CNT:04,POS:0003,");

    // The first piece passes, the second is refused and not kept.
    rig.Ask("CMD:9330,CNT:05,POS:0007,");
    EXPECT_EQ(Field(rig.Ask("CMD:9130,CNT:06,POS:0007,DATA:01,"), "RES"), "OK");
    EXPECT_EQ(Field(rig.Ask("CMD:9130,CNT:07,POS:0007,DATA:02,"), "RES"), "NG");
    rig.Ask("CMD:9430,CNT:08,POS:0007,");
    EXPECT_EQ(rig.device.Slot(7), QByteArray("\x01", 1));

    EXPECT_EQ(rig.Ask("CMD:9530,CNT:09,POS:0006,"), "CMD:9530,RES:NG,SUM:F0\r\n");
    EXPECT_EQ(rig.device.Slot(6), Pattern(5, 2));
    EXPECT_EQ(Field(rig.Ask("CMD:9530,CNT:0A,POS:0003,"), "RES"), "OK");
}

TEST(SimulatorFaults, DamagedAnswersAndTheirCounts) {
    SimOptions options;
    options.faults = {Fault(FaultKind::BadChecksum, -1, 1, 2)};
    Rig rig(options);
    ASSERT_TRUE(rig.ok());
    const std::string connect = "CMD:0000,CNT:00,DATA:FFFF000000,";
    std::vector<bool> verified;
    for (int i = 0; i < 4; ++i) verified.push_back(SumVerifies(rig.Ask(connect)));
    EXPECT_EQ(verified, (std::vector<bool>{true, false, false, true}));
}

TEST(SimulatorFaults, GarbageWithNulBytesComesOnItsOwnLineBeforeTheAnswer) {
    SimOptions options;
    options.faults = {Fault(FaultKind::Garbage)};
    Rig rig(options);
    ASSERT_TRUE(rig.ok());
    rig.host->Send("CMD:0000,CNT:00,DATA:FFFF000000,");
    const std::string got = rig.host->Collect(rig.device, 2);
    ASSERT_EQ(RawHost::CountLines(got), 2);
    EXPECT_NE(got.find('\0'), std::string::npos);
    const std::string answer = got.substr(got.find("\r\n") + 2);
    EXPECT_EQ(answer, "CMD:0000,RES:OK,SUM:E4\r\n");
}

TEST(SimulatorFaults, SplitAnswerArrivesInTwoParts) {
    SimOptions options;
    options.splitDelayMs = 120;
    options.faults = {Fault(FaultKind::SplitAnswer)};
    Rig rig(options);
    ASSERT_TRUE(rig.ok());
    rig.host->Send("CMD:0000,CNT:00,DATA:FFFF000000,");
    const std::string first = rig.host->Collect(rig.device, 1, 60);
    EXPECT_FALSE(first.empty());
    EXPECT_EQ(first.find("\r\n"), std::string::npos);
    EXPECT_TRUE(rig.device.HasPendingOutput());
    const std::string rest = rig.host->Collect(rig.device, 1, 1000);
    EXPECT_EQ(first + rest, "CMD:0000,RES:OK,SUM:E4\r\n");
}

TEST(SimulatorFaults, ReadAnswersWithOddOrOverlongData) {
    SimOptions options;
    options.pieceSize = 16;
    options.faults = {Fault(FaultKind::OddData, 3), Fault(FaultKind::LongData, 4)};
    Rig rig(options);
    ASSERT_TRUE(rig.ok());
    rig.device.SetSlot(3, Pattern(40, 0));
    rig.device.SetSlot(4, Pattern(40, 1));
    rig.Ask("CMD:0000,CNT:00,DATA:FFFF000000,");
    rig.Ask("CMD:9330,CNT:01,POS:0083,");
    const std::string odd = rig.Ask("CMD:9030,CNT:02,POS:0003,");
    EXPECT_TRUE(SumVerifies(odd));
    EXPECT_EQ(Field(odd, "DATA").size(), 31u);
    rig.Ask("CMD:9430,CNT:03,POS:0003,");
    rig.Ask("CMD:9330,CNT:04,POS:0084,");
    const std::string longer = rig.Ask("CMD:9030,CNT:05,POS:0004,");
    EXPECT_TRUE(SumVerifies(longer));
    EXPECT_GT(Field(longer, "DATA").size(), 2048u);
    EXPECT_EQ(Field(longer, "DATA").size() % 2, 0u);
    // Only one answer each.
    EXPECT_EQ(Field(rig.Ask("CMD:9030,CNT:06,POS:0004,"), "DATA").size(), 32u);
}

TEST(SimulatorFaults, NoAnswerThenNormalService) {
    SimOptions options;
    options.faults = {Fault(FaultKind::NoAnswer)};
    Rig rig(options);
    ASSERT_TRUE(rig.ok());
    rig.host->Send("CMD:0000,CNT:00,DATA:FFFF000000,");
    EXPECT_EQ(rig.host->Collect(rig.device, 1, 200), "");
    EXPECT_EQ(Field(rig.Ask("CMD:0000,CNT:01,DATA:FFFF000000,"), "RES"), "OK");
}

TEST(SimulatorFaults, VanishingHangsUpTheLine) {
    SimOptions options;
    SimFault vanish = Fault(FaultKind::Vanish, 1);
    vanish.command = 9030;
    vanish.after = 1;
    options.faults = {vanish};
    options.pieceSize = 8;
    Rig rig(options);
    ASSERT_TRUE(rig.ok());
    rig.device.SetSlot(1, Pattern(30, 0));
    rig.Ask("CMD:0000,CNT:00,DATA:FFFF000000,");
    rig.Ask("CMD:9330,CNT:01,POS:0081,");
    EXPECT_EQ(Field(rig.Ask("CMD:9030,CNT:02,POS:0001,"), "RES"), "OK");
    EXPECT_EQ(rig.Ask("CMD:9030,CNT:03,POS:0001,"), "");
    EXPECT_TRUE(rig.device.Vanished());
    EXPECT_EQ(rig.device.MasterFd(), -1);
    EXPECT_TRUE(rig.host->HungUp());
    rig.device.Poll();  // nothing left to poll; must not crash
}

TEST(SimulatorFaults, ParsesFaultDescriptions) {
    SimFault f;
    QString error;
    ASSERT_TRUE(DeviceSimulator::ParseFault(QStringLiteral("vanish,cmd=9030,slot=3,after=2"), f, error));
    EXPECT_EQ(f.kind, FaultKind::Vanish);
    EXPECT_EQ(f.command, 9030);
    EXPECT_EQ(f.slot, 3);
    EXPECT_EQ(f.after, 2);
    EXPECT_EQ(f.times, 1);
    ASSERT_TRUE(DeviceSimulator::ParseFault(QStringLiteral("refuse-open,times=always"), f, error));
    EXPECT_EQ(f.kind, FaultKind::RefuseOpen);
    EXPECT_EQ(f.times, -1);
    EXPECT_EQ(f.slot, -1);
    EXPECT_FALSE(DeviceSimulator::ParseFault(QStringLiteral("explode"), f, error));
    EXPECT_TRUE(error.contains(QStringLiteral("explode")));
    EXPECT_FALSE(DeviceSimulator::ParseFault(QStringLiteral("split,slot=x"), f, error));
    EXPECT_FALSE(DeviceSimulator::ParseFault(QStringLiteral("split,colour=3"), f, error));
    EXPECT_EQ(f.kind, FaultKind::RefuseOpen) << "a failed parse leaves the fault alone";
}

// A paced line lets bytes across one after another at its byte rate, a burst included, and
// never before the bytes handed earlier; an unpaced one lets everything across at once.
TEST(SimulatorLine, BytesCrossAtTheRateOfTheLine) {
    using Clock = LinePacer::Clock;
    using std::chrono::milliseconds;
    struct Hand {
        size_t count;
        int atMs;
    };
    struct Case {
        double rate;  // bytes a second
        std::vector<Hand> hands;
        int queryMs;
        size_t crossed;
        int allCrossedMs;  // when everything handed has crossed
    };
    const Case cases[] = {
        {1000, {{100, 0}}, 0, 0, 100},
        {1000, {{100, 0}}, 50, 50, 100},
        {1000, {{100, 0}}, 500, 100, 100},
        // The second burst waits for the line to be free.
        {1000, {{100, 0}, {100, 10}}, 150, 150, 200},
        // A line that was idle starts with the burst.
        {1000, {{10, 0}, {10, 500}}, 505, 15, 510},
        {11520, {{2088, 0}}, 181, 2085, 182},
        {0, {{100, 0}, {5, 3}}, 3, 105, 3},
    };
    const Clock::time_point t0 = Clock::now();
    for (const Case& c : cases) {
        LinePacer line(c.rate);
        size_t total = 0;
        for (const Hand& h : c.hands) {
            line.Hand(h.count, t0 + milliseconds(h.atMs));
            total += h.count;
        }
        EXPECT_EQ(line.Crossed(t0 + milliseconds(c.queryMs)), c.crossed)
            << c.rate << " at " << c.queryMs;
        const double allCrossed =
            std::chrono::duration<double, std::milli>(line.WhenCrossed(total) - t0).count();
        EXPECT_NEAR(allCrossed, c.allCrossedMs, 1.0) << c.rate << " at " << c.queryMs;
    }
}
