#include "app/DialogFonts.h"

#include <QApplication>
#include <QFile>
#include <QFontDatabase>
#include <QStringList>
#include <utility>

namespace {
// Debian's Wine font package keeps its faces outside the system's font configuration. Its
// MS Sans Serif has the metrics of the progress window's face (6 x 13 pixels at 8 pt,
// 96 dpi) and its Tahoma those of the newer shell dialog face; both are made known to this
// process when they are installed there and the system offers no face of that name.
void RegisterWineFaces() {
    static const bool registered = [] {
        const char* const folder = "/usr/share/wine/fonts/";
        const std::pair<const char*, const char*> faces[] = {{"MS Sans Serif", "ms_sans_serif.ttf"},
                                                             {"Tahoma", "tahoma.ttf"}};
        for (const auto& [family, file] : faces) {
            const QString path = QString::fromLatin1(folder) + QString::fromLatin1(file);
            if (!QFontDatabase::hasFamily(QString::fromLatin1(family)) && QFile::exists(path))
                QFontDatabase::addApplicationFont(path);
        }
        return true;
    }();
    (void)registered;
}

QFont FirstInstalled(const QStringList& families, int pointSize) {
    QFont font = QApplication::font();
    for (const QString& family : families) {
        if (QFontDatabase::hasFamily(family)) {
            font.setFamily(family);
            break;
        }
    }
    font.setPointSize(pointSize);
    return font;
}

QStringList MainDialogFaces() {
    return {QStringLiteral("MS UI Gothic"), QStringLiteral("IPAPGothic"),
            QStringLiteral("Noto Sans CJK JP")};
}

QStringList ProgressWindowFaces() {
    // "MS Shell Dlg" is Microsoft Sans Serif on Windows; "MS Shell Dlg 2" is Tahoma.
    return {QStringLiteral("MS Shell Dlg"), QStringLiteral("Microsoft Sans Serif"),
            QStringLiteral("MS Sans Serif"), QStringLiteral("MS Shell Dlg 2"),
            QStringLiteral("Tahoma")};
}
}  // namespace

QFont MainDialogFont() {
    return FirstInstalled(MainDialogFaces(), 9);
}

QFont ProgressWindowFont() {
    RegisterWineFaces();
    return FirstInstalled(ProgressWindowFaces(), 8);
}
