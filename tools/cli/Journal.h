#pragma once
// --journal FILE: one JSON line per slot operation and one per device run, appended whole
// (AppendFile), so that several runs and the devices of one run can share a journal. The
// fields are listed in the README.

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <optional>

class AppendFile;

// One operation on a slot as the journal records it.
struct JournalSlot {
    int slot = -1;
    QString action;  // "write", "remove", "save"
    QString file;    // empty: none
    qint64 size = 0;
    // The slot's bytes on the device before and after, where known.
    std::optional<QByteArray> before;
    std::optional<QByteArray> after;
    bool verified = false;
    bool done = false;
    QString reason;  // why it failed
};

// A slot saved to `file`, whole.
JournalSlot SavedToFile(int slot, const QString& file, const QByteArray& bytes);

// The journal of one device's run of one command.
class DeviceJournal {
public:
    // Records nothing without a file.
    DeviceJournal(AppendFile* file, QString command);

    // The device the lines are about, once the run knows it.
    void SetDevice(const QString& port, const QString& serialNumber);
    bool Active() const { return m_file != nullptr; }

    void Slot(const JournalSlot& entry);
    // The run's last line: how it ended and how long it took.
    void Run(int exitCode, const QString& reason, double seconds);

    // The first line that could not be written ("PATH: reason"), or "".
    const QString& Error() const { return m_error; }

private:
    void Append(const QJsonObject& own);

    AppendFile* m_file;
    QString m_command;
    QString m_port;
    QString m_serialNumber;
    QString m_error;
};
