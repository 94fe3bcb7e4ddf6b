#pragma once
// What the command-line tool reports about the bytes of a slot or of a local file: their
// size, SHA-256 fingerprint, the Information cell the slot lists would show for them, and
// the expiry of a certificate.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <optional>

struct SlotFacts {
    int size = 0;
    QString sha256;                       // lower-case hexadecimal; empty when there are no bytes
    QString information;                  // the Information cell's text
    std::optional<QDateTime> expiresUtc;  // notAfter, for a DER certificate
};

// The facts of `bytes` taken as a loaded slot copy.
SlotFacts DescribeSlotBytes(const QByteArray& bytes);

// SHA-256 of `bytes` as 64 lower-case hexadecimal digits.
QString Sha256Hex(const QByteArray& bytes);

// "2030-12-31T15:00:00Z": ISO 8601 in UTC, to the second.
QString IsoUtcText(const QDateTime& moment);
