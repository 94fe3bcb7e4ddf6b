#pragma once
// The one way our programs write a file: whole or not at all. The bytes go into a temporary
// file beside the target (created exclusively, never through a link), every write, sync and
// close is checked, and only a commit renames it over the final name. Anything else (an
// error, an interruption, the object going away) removes the temporary, so the final name
// keeps exactly what it held before.

#include <QString>
#include <cstddef>
#include <vector>

// The system calls the writer makes, so that tests can make each of them fail. Each returns
// what the POSIX call returns and leaves errno set on failure.
class FileSystemCalls {
public:
    virtual ~FileSystemCalls() = default;
    virtual int Open(const char* path, int flags, unsigned mode);
    virtual long Write(int fd, const void* data, std::size_t size);
    virtual int Sync(int fd);
    virtual int Close(int fd);
    virtual int Rename(const char* from, const char* to);
    virtual int Unlink(const char* path);
    virtual int Link(const char* from, const char* to);

    // The real calls.
    static FileSystemCalls& System();
};

enum class FileAccess {
    Usual,      // the umask's permissions, or those of the file it replaces
    OwnerOnly,  // read/write for the owner only, from the moment it exists (a private key)
};

// Where the target cannot get a temporary file beside it.
enum class InPlace {
    Never,           // then it cannot be written
    WhenFolderIsClosed,  // write the existing file itself when the folder takes no new file;
                         // a pipe or device node (/dev/stdout) is always written directly
};

class SafeFile {
public:
    explicit SafeFile(FileSystemCalls& calls = FileSystemCalls::System());
    ~SafeFile();  // discards what was not committed
    SafeFile(SafeFile&& other) noexcept;
    SafeFile& operator=(SafeFile&& other) noexcept;
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    // Starts writing `path`. False (Error() says why) when nothing could be created.
    bool Begin(const QString& path, FileAccess access, InPlace inPlace = InPlace::Never);
    // Appends bytes. A failure is kept: later writes do nothing and Commit() fails.
    bool Write(const void* data, std::size_t size);
    // Syncs and closes the temporary, keeping it under its temporary name.
    bool Finish();
    // Renames the finished temporary over the final name and syncs the folder.
    bool Publish();
    // Finish() and Publish().
    bool Commit();
    // Closes and removes the temporary; the final name is left as it was.
    void Discard();

    bool IsOpen() const { return m_fd >= 0; }
    bool Failed() const { return !m_error.isEmpty(); }
    // "PATH: reason" of the first failure, naming the final file.
    const QString& Error() const { return m_error; }
    const QString& Path() const { return m_path; }
    const QString& TemporaryPath() const { return m_temporary; }
    bool WritesInPlace() const { return m_inPlace; }
    // Bytes taken by Write() since Begin().
    std::size_t Written() const { return m_written; }

private:
    bool Fail(const char* what = nullptr);
    bool CreateTemporary(FileAccess access, int& savedErrno);
    bool OpenInPlace(FileAccess access);
    void Reset();

    FileSystemCalls* m_calls;
    QString m_path;
    QString m_temporary;  // empty: none created (or already renamed)
    int m_fd = -1;
    bool m_inPlace = false;
    bool m_finished = false;
    bool m_published = false;
    std::size_t m_written = 0;
    QString m_error;
};

// Publishes finished files together: either every final name gets its new file, or every
// final name keeps what it held (the old entries are kept aside until all renames worked).
// The files are renamed in the order given. A final name held by anything but a file or a
// link (a folder, a FIFO) refuses them all, nothing moved. On failure `error` names the file
// and reason.
bool PublishTogether(std::vector<SafeFile*> files, QString& error,
                     FileSystemCalls& calls = FileSystemCalls::System());
