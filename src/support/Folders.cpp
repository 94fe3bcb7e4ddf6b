#include "support/Folders.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>

bool MakeFolders(const QString& path, QString& reason) {
    const QByteArray native = QFile::encodeName(QDir::cleanPath(path));
    for (qsizetype end = 1; end <= native.size(); ++end) {
        if (end < native.size() && native[end] != '/') continue;
        const QByteArray prefix = native.left(end);
        if (::mkdir(prefix.constData(), 0777) == 0) continue;
        int error = errno;
        // An existing component is fine when it is a folder (or a link to one), whatever
        // mkdir said about it; anything else that exists cannot hold the rest.
        struct stat existing {};
        if (::stat(prefix.constData(), &existing) == 0) {
            if (S_ISDIR(existing.st_mode)) continue;
            error = ENOTDIR;
        }
        reason = QString::fromLocal8Bit(std::strerror(error));
        return false;
    }
    return true;
}
