// Writes the application's icon, as the window draws it, into a hicolor icon theme tree:
// FOLDER/<n>x<n>/apps/quillbank.png for the usual desktop sizes.
//
//   quillbank-icon-png FOLDER

#include <QDir>
#include <QGuiApplication>
#include <cstdio>

#include "app/AppIcon.h"

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: quillbank-icon-png FOLDER\n");
        return 2;
    }
    const QDir root(QString::fromLocal8Bit(argv[1]));
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        const QString folder = QStringLiteral("%1x%1/apps").arg(size);
        const QString path = root.filePath(folder + QStringLiteral("/quillbank.png"));
        if (!root.mkpath(folder) || !QuillbankIconPixmap(size).save(path)) {
            std::fprintf(stderr, "quillbank-icon-png: cannot write %s\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}
