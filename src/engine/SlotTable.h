#pragma once
// The device's fifteen slots: limits, the in-memory copy of each slot file, and how slots
// map to the rows of the two lists.

#include <QString>
#include <cstdint>
#include <memory>

inline constexpr int SLOT_COUNT = 15;
inline constexpr int SLOT_BUFFER_SIZE = 6144;  // also the largest file a Write accepts
inline constexpr int WRITE_CHUNK_SIZE = 256;   // file bytes per write command
inline constexpr int READ_CHUNK_MAX = 1024;    // most bytes decoded from one read answer
inline constexpr int READ_DATA_DIGITS_MAX = 2 * READ_CHUNK_MAX;

inline constexpr int SLOT_PENDING = 0;
inline constexpr int SLOT_DONE = 1;

inline constexpr int SLOT_SERVER_CERTIFICATE = 0;
inline constexpr int SLOT_SERVER_KEY = 1;

struct FileSlot {
    int nStatus = SLOT_PENDING;
    std::unique_ptr<std::uint8_t[]> pData;  // null, or SLOT_BUFFER_SIZE bytes
    std::uint16_t nSize = 0;                // valid bytes at the start of pData

    // Allocates the buffer on first need (contents not initialised).
    std::uint8_t* EnsureBuffer();
    // Frees the buffer: no data and size 0; the status stays.
    void Release();
};

// Control ids of the two lists; 0 means no list.
inline constexpr int IDC_LIST_SERVER = 1004;
inline constexpr int IDC_LIST_CLIENT = 1005;
inline constexpr int SERVER_ROW_COUNT = 2;
inline constexpr int CLIENT_ROW_COUNT = SLOT_COUNT - SERVER_ROW_COUNT;

// First-column label: "Certificate", "Key", "Certificate 1" ... "Certificate 13".
QString SlotLabel(int slot);

// List id and row that show `slot` (0..14).
int SlotListId(int slot);
int SlotRow(int slot);

// Slot shown at (listId, row); -1 when the list id is neither list or the row is below 0.
int SlotFromListRow(int listId, int row);
