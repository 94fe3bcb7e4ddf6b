#include "session/PortFailure.h"

#include <QFile>

#ifdef Q_OS_UNIX
#include <grp.h>
#include <sys/stat.h>
#endif

namespace {
// The group that owns the device node, or "" when it cannot be told.
QString OwningGroup([[maybe_unused]] const QString& location) {
#ifdef Q_OS_UNIX
    struct stat info {};
    if (::stat(QFile::encodeName(location).constData(), &info) != 0) return {};
    if (const group* owner = ::getgrgid(info.st_gid)) return QString::fromLocal8Bit(owner->gr_name);
#endif
    return {};
}
}  // namespace

QString DescribePortFailure(const QString& location, const PortOpenError& error) {
    const QString head = QStringLiteral("cannot open ") + location + QStringLiteral(": ");
    switch (error.failure) {
        case PortOpenFailure::NoPermission: {
            const QString group = OwningGroup(location);
            const QString join =
                group.isEmpty() ? QStringLiteral("join the group that owns the port")
                                : QStringLiteral(
                                      "join its group '%1' (sudo usermod -aG %1 $USER, then log in "
                                      "again)")
                                      .arg(group);
            return head + QStringLiteral(
                              "permission denied. Install the quillbank package, whose "
                              "udev rule %1 gives the logged-in user the device, or %2")
                              .arg(QString::fromLatin1(UDEV_RULE_PATH), join);
        }
        case PortOpenFailure::InUse:
            return head + QStringLiteral(
                              "in use by another program; close it or wait until it "
                              "is done");
        case PortOpenFailure::Missing:
            return head + QStringLiteral("no such port; is the device plugged in?");
        case PortOpenFailure::Other:
            return head + DescribePortOpenError(error);
        case PortOpenFailure::None:
            break;
    }
    // It opened but could not be set up.
    return QStringLiteral("cannot set up ") + location;
}
