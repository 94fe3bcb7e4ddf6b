#pragma once
// What the Write, Read and Remove buttons share: the target rule, the file types per slot
// and the idle test.

#include <QString>

#include "engine/SlotEngine.h"
#include "engine/SlotTable.h"

inline constexpr const char* NO_TARGET_MESSAGE = "Please select the target from the list.";
inline constexpr const char* KEY_FILE_FILTER = "Key Files (*.key)|*.key|";
inline constexpr const char* CERTIFICATE_FILE_FILTER =
    "Certificate File(*.crt)|*.crt|Certificate File(*.cer)|*.cer|Certificate File(*.der)|*.der|";

// Slot 1 holds the private key; every other slot a certificate.
inline QString SlotFileFilter(int slot) {
    return QString::fromLatin1(slot == SLOT_SERVER_KEY ? KEY_FILE_FILTER
                                                       : CERTIFICATE_FILE_FILTER);
}
inline QString SlotDefaultExtension(int slot) {
    return slot == SLOT_SERVER_KEY ? QStringLiteral("key") : QStringLiteral("crt");
}

// A command may hand a request to the engine only while it is connected and idle. The
// commands test it before they start and again after their dialogs, whose nested timer
// ticks keep the engine (and the port's failure limit) running.
inline bool IsEngineIdle(const CSlotEngine& engine) {
    return engine.m_nState == STATE_READY && engine.IsPortOpen();
}
