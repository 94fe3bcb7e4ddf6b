#include "certs/LocalFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include "engine/SlotEngine.h"
#include "support/DialogServices.h"

QString GetLocalCertificateFolder() {
    const QString base = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
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
