#pragma once
// The Connect, Write, Read, Remove and HELP buttons over the engine's requests and the dialog
// services: the target rule, the file types per slot, the questions and the idle test.

#include <QString>

#include "engine/SlotEngine.h"
#include "engine/SlotTable.h"

class DialogServices;

inline constexpr const char* NO_TARGET_MESSAGE = "Please select the target from the list.";
inline constexpr const char* KEY_FILE_FILTER = "Key Files (*.key)|*.key|";
inline constexpr const char* CERTIFICATE_FILE_FILTER =
    "Certificate File(*.crt)|*.crt|Certificate File(*.cer)|*.cer|Certificate File(*.der)|*.der|";
inline constexpr const char* OVERWRITE_QUESTION =
    "The file is already there. Do you want to overwrite it?";
inline constexpr const char* REMOVE_QUESTION =
    "This action deletes the data.The operation cannot be undone.Are you sure you want to "
    "continue ?";
inline constexpr const char* NO_DATA_MESSAGE = "There is no data available to read.";
inline constexpr const char* TOO_LARGE_MESSAGE = "The file size must be 6 KBytes or less.";

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
inline bool IsEngineIdle(const CSlotEngine& engine) { return engine.IsIdle(); }

class CSlotCommands {
public:
    // Both outlive the commands.
    CSlotCommands(CSlotEngine& engine, DialogServices& services);

    void OnBnClickedConnect();
    void OnBnClickedWrite();
    void OnBnClickedRead();
    void OnBnClickedRemove();
    void OnBnClickedHelp();
    // The slot of the current target, made the engine's current slot; -1 (after telling the
    // user) when no row is the target.
    int TakeTargetSlot();

    // The window's current target: the list and row last selected (0 and -1: none).
    int m_nTargetListId = 0;
    int m_nTargetRow = -1;

private:
    CSlotEngine& m_commandEngine;
    DialogServices& m_commandServices;
};
