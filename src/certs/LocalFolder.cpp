#include "certs/LocalFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "engine/SlotEngine.h"
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

void CSlotEngine::OnBnClickedHelp() {
    // The working directory decides which manual is found; a missing one is silent.
    for (const char* name : {HELP_MANUAL_FILE, HELP_MANUAL_FILE_EN}) {
        const QString relative = QString::fromLatin1(name);
        if (QFileInfo::exists(relative)) {
            m_services.OpenDocument(QFileInfo(relative).absoluteFilePath());
            return;
        }
    }
}
