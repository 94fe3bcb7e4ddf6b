#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "TestCertificates.h"
#include "certs/SummaryCommand.h"
#include "engine/SlotTable.h"

namespace {

class SummaryCommandTest : public ::testing::Test {
  protected:
    QString Write(const QString& name, const Bytes& bytes) {
        const QString path = dir.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
        return path;
    }

    int Run(const QStringList& files) {
        out.clear();
        err.clear();
        QTextStream outStream(&out);
        QTextStream errStream(&err);
        return RunSummaryCommand(files, outStream, errStream);
    }

    QStringList OutLines() const { return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
    QStringList ErrLines() const { return err.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }

    ScopedTimeZone zone{"Asia/Tokyo"};
    DebugCapture debug;
    QTemporaryDir dir;
    QString out;
    QString err;
};

TEST_F(SummaryCommandTest, EachFileGivesTheCellOfASlotCopy) {
    const Bytes key = RsaKeyDer();
    const QString cert = Write(QStringLiteral("server.der"), ExampleCertificate());
    const QString keyFile = Write(QStringLiteral("server.key"), key);
    const QString empty = Write(QStringLiteral("empty.der"), {});
    QStringList files{cert, keyFile, empty};
    QStringList expected{cert + QStringLiteral(": SHA256RSA , Example CA , 2031-01-01 00:00:00"),
                         keyFile + QStringLiteral(": File Size : %1Bytes").arg(key.size()),
                         empty + QStringLiteral(":")};
#ifndef _WIN32
    // A line break in a file's name cannot make its report two lines (Windows has no such
    // names).
    files << Write(QStringLiteral("two\nlines.der"), {});
    expected << dir.filePath(QStringLiteral("two\uFFFDlines.der:"));
#endif
    EXPECT_EQ(Run(files), SUMMARY_EXIT_OK);
    EXPECT_EQ(OutLines(), expected);
    EXPECT_EQ(err, QString());
}

TEST_F(SummaryCommandTest, SlotSizedFileIsTakenOneByteMoreIsNot) {
    Bytes full = ExampleCertificate();
    full.resize(SLOT_BUFFER_SIZE, 0);  // a certificate padded to exactly one slot
    const QString fits = Write(QStringLiteral("fits.der"), full);
    full.push_back(0);
    const QString tooLarge = Write(QStringLiteral("large.der"), full);

    EXPECT_EQ(Run({fits}), SUMMARY_EXIT_OK);
    EXPECT_EQ(OutLines(),
              QStringList{fits + QStringLiteral(": SHA256RSA , Example CA , 2031-01-01 00:00:00")});

    EXPECT_EQ(Run({tooLarge, fits}), SUMMARY_EXIT_FILE_FAILED);
    EXPECT_EQ(ErrLines(),
              QStringList{tooLarge + QStringLiteral(": too large for a slot (6145 bytes; at "
                                                    "most 6144)")});
    // The other file is still summarised.
    EXPECT_EQ(OutLines().size(), 1);
    EXPECT_TRUE(OutLines().value(0).startsWith(fits + QStringLiteral(": SHA256RSA")));
}

TEST_F(SummaryCommandTest, UnreadableFilesAreReportedAndTheRestGoesOn) {
    const QString missing = dir.filePath(QStringLiteral("missing.der"));
    const QString cert = Write(QStringLiteral("ok.der"), ExampleCertificate());
    EXPECT_EQ(Run({missing, dir.path(), cert}), SUMMARY_EXIT_FILE_FAILED);
    const QStringList errors = ErrLines();
    ASSERT_EQ(errors.size(), 2) << err.toStdString();
    EXPECT_TRUE(errors[0].startsWith(missing + QStringLiteral(": cannot read (")))
        << errors[0].toStdString();
    EXPECT_TRUE(errors[1].startsWith(dir.path() + QStringLiteral(": cannot read (")))
        << errors[1].toStdString();
    EXPECT_EQ(OutLines(),
              QStringList{cert + QStringLiteral(": SHA256RSA , Example CA , 2031-01-01 00:00:00")});
}

TEST_F(SummaryCommandTest, NoFileIsAUsageError) {
    EXPECT_EQ(Run({}), SUMMARY_EXIT_USAGE);
    EXPECT_EQ(out, QString());
    EXPECT_EQ(err, QStringLiteral("usage: quillbank-cli summary FILE...\n"));
}

TEST_F(SummaryCommandTest, PipeLongerThanASlotIsTooLarge) {
    // /dev/zero has no size on disk and never ends: only the bytes a slot can hold are read.
    if (!QFile::exists(QStringLiteral("/dev/zero"))) GTEST_SKIP() << "no /dev/zero";
    EXPECT_EQ(Run({QStringLiteral("/dev/zero")}), SUMMARY_EXIT_FILE_FAILED);
    EXPECT_EQ(err, QStringLiteral(
                       "/dev/zero: too large for a slot (more than 6144 bytes; at most 6144)\n"));
}

}  // namespace
