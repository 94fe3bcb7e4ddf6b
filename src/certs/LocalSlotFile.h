#pragma once
// A local file read as a Write would put it into a slot: its raw bytes, at most
// SLOT_BUFFER_SIZE of them.

#include <QByteArray>
#include <QString>

struct SlotFileRead {
    enum Status { Loaded, TooLarge, Unreadable };
    Status status = Unreadable;
    QByteArray bytes;  // the whole file when Loaded
    qint64 size = -1;  // size on disk; -1 for a pipe or device, whose size is unknown
    QString error;     // the system's reason when Unreadable
};

// One byte more than a slot holds is asked for, so that an oversized file is recognised
// even where its size is not known in advance (a pipe).
SlotFileRead ReadSlotFile(const QString& path);
