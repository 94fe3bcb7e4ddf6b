#include "support/Folders.h"

#include <QDir>
#include <cerrno>
#include <cstring>

#include "support/FileCalls.h"

bool MakeFolders(const QString& path, QString& reason) {
    const QByteArray native = NativeName(QDir::cleanPath(path));
    for (qsizetype end = 1; end <= native.size(); ++end) {
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
