#pragma once
// How a transaction with the device ended, as the engine reports it to its owner through
// CSlotEngine::OnTransactionEnded. The window ignores these reports (it shows outcomes in its
// lists and trace); the command-line session records them to decide what to tell a script.

enum class Transaction {
    Connect,  // opening the port and the connect handshake
    Open,     // opening a slot, for reading or for writing
    Read,     // the pieces of a slot file, up to the total the device announced
    Write,    // the pieces of an upload, up to the end of the local file
    Close,    // closing a slot
    Remove,   // erasing a slot
    Link,     // the connection as a whole
};

enum class Outcome {
    Done,            // accepted by the device, or every byte is in
    Refused,         // the device answered with a RES other than OK
    Malformed,       // an answer the engine cannot use: the transfer was abandoned
    LocalFileError,  // the local file could not be read
    PortFailed,      // the port could not be opened or set up
    ConnectionLost,  // the port kept failing and the engine disconnected on its own
};

struct TransactionEnd {
    Transaction transaction = Transaction::Link;
    Outcome outcome = Outcome::Done;
    int slot = -1;  // the slot acted on (m_nCurSlot); -1 for the connection

    bool operator==(const TransactionEnd&) const = default;
};
