#include "support/Folders.h"

#include <QDir>
#include <cerrno>
#include <cstring>

#include "support/FileCalls.h"

namespace {

// Where the part of a path that no one can make ends: a drive ("C:") or a share
// ("//host/share") on Windows; nothing elsewhere.
qsizetype RootEnd(const QByteArray& native) {
#ifdef _WIN32
    if (native.size() >= 2 && native[1] == ':') return 2;
    if (native.startsWith("//")) {
        qsizetype end = native.indexOf('/', 2);
        if (end >= 0) end = native.indexOf('/', end + 1);
        return end < 0 ? native.size() : end;
    }
#else
    Q_UNUSED(native);
#endif
    return 0;
}

}  // namespace

bool MakeFolders(const QString& path, QString& reason) {
    const QByteArray native = NativeName(QDir::cleanPath(path));
    for (qsizetype end = RootEnd(native) + 1; end <= native.size(); ++end) {
        if (end < native.size() && native[end] != '/') continue;
        const QByteArray prefix = native.left(end);
        if (MakeFolder(prefix.constData()) == 0) continue;
        int error = errno;
        // An existing component is fine when it is a folder (or a link to one), whatever
        // mkdir said about it; anything else that exists cannot hold the rest.
        FileStat existing{};
        if (StatPath(prefix.constData(), existing) == 0) {
            if (IsFolder(existing)) continue;
            error = ENOTDIR;
        }
        reason = QString::fromLocal8Bit(std::strerror(error));
        return false;
    }
    return true;
}
