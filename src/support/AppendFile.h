#pragma once
// A file that whole lines are only ever added to (a journal): several threads of a program
// and several programs at once may append to it, and each line lands whole, after the lines
// before it, or not at all. A line that could not be written whole (a full disk) is taken
// back, so a reader never meets a cut-short line.

#include <QByteArray>
#include <QString>
#include <mutex>

class AppendFile {
public:
    AppendFile() = default;
    ~AppendFile();
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // Opens `path` for appending, creating it when missing. Refuses a symbolic link at the
    // name (the lines would land wherever it points) and anything that is not a regular file.
    // False with "PATH: reason" in `error`.
    bool Open(const QString& path, QString& error);
    bool IsOpen() const { return m_fd >= 0; }
    const QString& Path() const { return m_path; }

    // Appends `line` (which ends with its line break) in one piece and syncs it to the disk.
    // False with "PATH: reason" in `error`; the file then holds what it held before.
    bool Append(const QByteArray& line, QString& error);

private:
    std::mutex m_mutex;  // the threads of this program; a file lock keeps other programs out
    int m_fd = -1;
    QString m_path;
};
