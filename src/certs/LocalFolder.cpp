#include "certs/LocalFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "certs/SlotCommands.h"
#include "support/DialogServices.h"

#ifdef Q_OS_WIN
#include <shlobj.h>
#endif

namespace {
// The user's roaming application-data folder on Windows (Qt offers that one only with the
// application's own name appended), the user data folder elsewhere.
QString UserDataFolder() {
#ifdef Q_OS_WIN
    PWSTR path = nullptr;
    QString folder;
    if (SUCCEEDED(::SHGetKnownFolderPath(FOLDERID_RoamingAppData, 0, nullptr, &path)))
        folder = QString::fromWCharArray(path);
    ::CoTaskMemFree(path);
    return folder;
#else
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
#endif
}
}  // namespace

QString GetLocalCertificateFolder() {
    const QString base = UserDataFolder();
    if (base.isEmpty()) return {};
    return QDir::toNativeSeparators(base + QStringLiteral("/Velmora/Certificates"));
}

QString InstalledDocumentationFolder(const QString& executableFolder) {
#ifdef Q_OS_WIN
    // The installer and the zip put the manual beside the programs.
    return QDir::cleanPath(executableFolder);
#else
    return QDir::cleanPath(executableFolder + QStringLiteral("/../share/doc/quillbank"));
#endif
}

QString FindHelpManual(const QString& executableFolder) {
    // A program started from a desktop menu runs in the home folder, so the working
    // directory alone would never find an installed manual.
    const QDir installed(InstalledDocumentationFolder(executableFolder));
    const QStringList names{QString::fromLatin1(HELP_MANUAL_FILE),
                            QString::fromLatin1(HELP_MANUAL_FILE_EN)};
    QStringList candidates = names;  // relative: the working directory
    for (const QString& name : names) candidates << installed.filePath(name);
    for (const QString& path : candidates)
        if (QFileInfo::exists(path)) return QFileInfo(path).absoluteFilePath();
    return {};
}

void CSlotCommands::OnBnClickedHelp() {
    // A missing manual is silent.
    const QString manual = FindHelpManual(QCoreApplication::applicationDirPath());
    if (!manual.isEmpty()) m_commandServices.OpenDocument(manual);
}
