#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "TestCertificates.h"
#include "certs/CertificateSummary.h"
#include "certs/InformationCell.h"
#include "engine/EngineSetup.h"
#include "engine/SlotEngine.h"
#include "fakes/FakeCommPort.h"
#include "fakes/FakeDialogServices.h"

namespace {

class SlotSummaryTest : public ::testing::Test {
  protected:
    // Puts `bytes` into the slot's buffer and sets its status and size.
    void Fill(int slot, const Bytes& bytes, int status = SLOT_DONE) {
        EngineSetup::PreloadSlot(engine, slot, bytes, status);
    }
    // A slot record of `status` that claims `size` bytes, with a buffer holding `bytes` or,
    // without them, none.
    static FileSlot Record(int status, std::uint16_t size, const Bytes* bytes = nullptr) {
        FileSlot record;
        record.nStatus = status;
        if (bytes != nullptr)
            std::copy_n(bytes->begin(), std::min<std::size_t>(bytes->size(), SLOT_BUFFER_SIZE),
                        record.EnsureBuffer());
        record.nSize = size;
        return record;
    }

    ScopedTimeZone zone{"Asia/Tokyo"};
    DebugCapture debug;
    FakePortProvider ports;
    FakeDialogServices services;
    CSlotEngine engine{ports, services};
};

const QString EXAMPLE_SUMMARY = QStringLiteral("SHA256RSA , Example CA , 2031-01-01 00:00:00");

TEST_F(SlotSummaryTest, LoadedCertificateShowsItsSummary) {
    Fill(0, ExampleCertificate());
    Fill(14, ExampleCertificate());
    EXPECT_EQ(GetCertificateSummary(engine, 0), EXAMPLE_SUMMARY);
    EXPECT_EQ(InformationCellText(engine, 0), EXAMPLE_SUMMARY);
    EXPECT_EQ(InformationCellText(engine, 14), EXAMPLE_SUMMARY);
}

TEST_F(SlotSummaryTest, PendingSlotHasNoSummaryEvenWithACertificate) {
    const Bytes der = ExampleCertificate();
    Fill(2, der, SLOT_PENDING);
    EXPECT_EQ(GetCertificateSummary(engine, 2), QString());
    // The cell still tells that the slot holds bytes.
    EXPECT_EQ(InformationCellText(engine, 2),
              QStringLiteral("File Size : %1Bytes").arg(der.size()));
}

TEST_F(SlotSummaryTest, SizeZeroShowsNothingEvenWithACertificateInTheBuffer) {
    const Bytes der = ExampleCertificate();
    EngineSetup::PreloadSlot(engine, 3, Record(SLOT_DONE, 0, &der));
    EXPECT_EQ(GetCertificateSummary(engine, 3), QString());
    EXPECT_EQ(InformationCellText(engine, 3), QString());
}

TEST_F(SlotSummaryTest, EmptyAndRefusedSlotsShowNothing) {
    // Never loaded; refused at the load (done, no buffer, size 0); removed (buffer freed).
    EngineSetup::PreloadSlot(engine, 5, Record(SLOT_DONE, 0));
    // A removal leaves what a refusal leaves, whatever the buffer held before it was freed.
    Fill(6, ExampleCertificate());
    EngineSetup::PreloadSlot(engine, 6, Record(SLOT_DONE, 0));
    for (int slot : {4, 5, 6}) {
        EXPECT_EQ(GetCertificateSummary(engine, slot), QString()) << slot;
        EXPECT_EQ(InformationCellText(engine, slot), QString()) << slot;
    }
}

TEST_F(SlotSummaryTest, KeyPemAndOtherDataShowTheirSize) {
    const Bytes key = RsaKeyDer();
    Fill(SLOT_SERVER_KEY, key);
    EXPECT_EQ(GetCertificateSummary(engine, SLOT_SERVER_KEY), QString());
    EXPECT_EQ(InformationCellText(engine, SLOT_SERVER_KEY),
              QStringLiteral("File Size : %1Bytes").arg(key.size()));

    Fill(7, Bytes(1218, 0x41));
    EXPECT_EQ(InformationCellText(engine, 7), QStringLiteral("File Size : 1218Bytes"));

    const Bytes pem = PemOf(ExampleCertificate());
    Fill(8, pem);
    EXPECT_EQ(InformationCellText(engine, 8),
              QStringLiteral("File Size : %1Bytes").arg(pem.size()));

    Bytes truncated = ExampleCertificate();
    truncated.pop_back();
    Fill(9, truncated);
    EXPECT_EQ(InformationCellText(engine, 9),
              QStringLiteral("File Size : %1Bytes").arg(truncated.size()));
    EXPECT_TRUE(debug.lines.empty());
}

TEST_F(SlotSummaryTest, SizeWithoutBufferShowsOnlyTheSize) {
    EngineSetup::PreloadSlot(engine, 10, Record(SLOT_DONE, 100));
    EXPECT_EQ(GetCertificateSummary(engine, 10), QString());
    EXPECT_EQ(InformationCellText(engine, 10), QStringLiteral("File Size : 100Bytes"));
}

TEST_F(SlotSummaryTest, SlotOutsideTheTableShowsNothing) {
    for (int slot : {-1, SLOT_COUNT, 1000}) {
        EXPECT_EQ(GetCertificateSummary(engine, slot), QString()) << slot;
        EXPECT_EQ(InformationCellText(engine, slot), QString()) << slot;
    }
}

// The example certificate with its signature replaced by one of `bits` bytes, cut off at
// the end of a slot buffer. Expects the layout OpenSSL writes for a small RSA certificate:
// long-form lengths for the whole and the to-be-signed part, a short algorithm identifier.
Bytes CertificateRunningPastTheBuffer(std::size_t bits) {
    const Bytes der = ExampleCertificate();
    EXPECT_TRUE(der[1] == 0x82 && der[4] == 0x30 && der[5] == 0x82 && der.size() < 1000);
    const std::size_t tbsEnd = 8 + (std::size_t{der[6]} << 8 | der[7]);
    const std::size_t prefixEnd = tbsEnd + 2 + der[tbsEnd + 1];
    const std::size_t outer = (prefixEnd - 4) + 4 + 1 + bits;
    const std::size_t bitLength = bits + 1;
    Bytes out;
    out.reserve(SLOT_BUFFER_SIZE);
    auto put = [&out](std::size_t value) { out.push_back(static_cast<std::uint8_t>(value)); };
    put(0x30), put(0x82), put(outer >> 8), put(outer & 0xFF);
    for (std::size_t i = 4; i < prefixEnd; ++i) put(der[i]);
    put(0x03), put(0x82), put(bitLength >> 8), put(bitLength & 0xFF), put(0x00);
    out.resize(SLOT_BUFFER_SIZE, 0x5A);
    return out;
}

TEST_F(SlotSummaryTest, SizeBeyondTheBufferNeverReadsPastIt) {
    // A certificate whose signature would end 2000 bytes past the buffer, with a size the
    // buffer cannot hold: only the buffer is decoded (the sanitizer build would catch a
    // read past it), so the certificate is incomplete.
    const Bytes running = CertificateRunningPastTheBuffer(SLOT_BUFFER_SIZE + 2000);
    EngineSetup::PreloadSlot(engine, 11, Record(SLOT_DONE, 65535, &running));
    EXPECT_EQ(GetCertificateSummary(engine, 11), QString());
    EXPECT_EQ(InformationCellText(engine, 11), QStringLiteral("File Size : 65535Bytes"));

    // The same construction that ends inside the buffer is a certificate: the test above
    // fails for the size, not for the construction.
    Bytes fits = CertificateRunningPastTheBuffer(100);
    Fill(12, fits);
    EXPECT_EQ(GetCertificateSummary(engine, 12), EXAMPLE_SUMMARY);
}

TEST_F(SlotSummaryTest, RecordWithoutEngineGivesTheSameCell) {
    FileSlot record;
    EXPECT_EQ(InformationCellText(record), QString());
    const Bytes der = ExampleCertificate();
    std::copy(der.begin(), der.end(), record.EnsureBuffer());
    record.nSize = static_cast<std::uint16_t>(der.size());
    EXPECT_EQ(InformationCellText(record), QStringLiteral("File Size : %1Bytes").arg(der.size()));
    record.nStatus = SLOT_DONE;
    EXPECT_EQ(InformationCellText(record), EXAMPLE_SUMMARY);
}

}  // namespace
