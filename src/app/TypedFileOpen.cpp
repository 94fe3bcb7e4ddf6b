#include "app/TypedFileOpen.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>

void LetOpenTakeTypedFiles(QFileDialog& dialog) {
    auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    auto* buttons = dialog.findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
    QPushButton* open = buttons != nullptr ? buttons->button(QDialogButtonBox::Open) : nullptr;
    if (name == nullptr || open == nullptr) return;
    // Queued, so that it comes after the dialog has set the button for the same change.
    QObject::connect(
        name, &QLineEdit::textChanged, open,
        [&dialog, open] {
            if (open->isEnabled()) return;
            // What Enter accepts: every chosen name an existing file.
            const QStringList files = dialog.selectedFiles();
            if (files.isEmpty()) return;
            for (const QString& file : files)
                if (!QFileInfo(file).isFile()) return;
            open->setEnabled(true);
        },
        Qt::QueuedConnection);
}
