#include "app/QtDialogServices.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QTimer>
#include <QUrl>

#include "app/TypedFileOpen.h"

namespace {
constexpr unsigned kButtonMask = 0x0F;
constexpr unsigned kIconMask = 0xF0;
// How often an open box looks whether its question still applies.
constexpr int kStillAppliesCheckMs = 50;

bool RunFileDialog(QFileDialog& dialog, const QString& filter, QString& path) {
    const QStringList filters = QtNameFilters(filter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.first());
    }
    if (dialog.exec() != QDialog::Accepted) return false;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.first().isEmpty()) return false;
    path = QDir::toNativeSeparators(chosen.first());
    return true;
}
}  // namespace

QStringList QtNameFilters(const QString& filter) {
    QStringList result;
    const QStringList parts = filter.split(QLatin1Char('|'));
    // Pairs only: a trailing "|" leaves one empty piece, which is no pair.
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        const QString& description = parts.at(i);
        const QString patterns = parts.at(i + 1).split(QLatin1Char(';'), Qt::SkipEmptyParts)
                                     .join(QLatin1Char(' '))
                                     .trimmed();
        if (description.isEmpty() && patterns.isEmpty()) continue;
        const QString suffix = QLatin1Char('(') + patterns + QLatin1Char(')');
        if (description.trimmed().endsWith(suffix))
            result.append(description.trimmed());
        else
            result.append(description + QStringLiteral(" ") + suffix);
    }
    return result;
}

QMessageBox::Icon MessageBoxIcon(unsigned type) {
    switch (type & kIconMask) {
        case MsgBox::IconError: return QMessageBox::Critical;
        case MsgBox::IconQuestion: return QMessageBox::Question;
        case MsgBox::IconExclamation: return QMessageBox::Warning;
        case 0x40: return QMessageBox::Information;
        default: return QMessageBox::NoIcon;
    }
}

QMessageBox::StandardButtons MessageBoxButtons(unsigned type) {
    if ((type & kButtonMask) == MsgBox::OkCancel) return QMessageBox::Ok | QMessageBox::Cancel;
    return QMessageBox::Ok;
}

QWidget* QtDialogServices::DialogParent() const {
    // A window that stays on top would cover a box of the owner's, OK button and all; a box
    // of its own always stays above it.
    if (m_floating != nullptr && m_floating->isVisible()) return m_floating.data();
    return m_owner.data();
}

int QtDialogServices::ShowMessageBox(const QString& text, const QString& caption,
                                     unsigned type) {
    return RunMessageBox(text, caption, type, {});
}

int QtDialogServices::ShowMessageBoxWhile(const QString& text, const QString& caption,
                                          unsigned type,
                                          const std::function<bool()>& stillApplies) {
    if (!stillApplies()) return MsgBox::IdWithdrawn;
    return RunMessageBox(text, caption, type, stillApplies);
}

int QtDialogServices::RunMessageBox(const QString& text, const QString& caption, unsigned type,
                                    const std::function<bool()>& stillApplies) {
    const QString title = caption.isEmpty() ? QCoreApplication::applicationName() : caption;
    QMessageBox box(MessageBoxIcon(type), title, text, MessageBoxButtons(type), DialogParent());
    box.setTextFormat(Qt::PlainText);
    box.setDefaultButton(QMessageBox::Ok);
    // Escape answers Cancel where there is one and OK otherwise, as the platform box does.
    box.setEscapeButton(box.button(QMessageBox::Cancel) != nullptr
                            ? box.button(QMessageBox::Cancel)
                            : box.button(QMessageBox::Ok));
    bool withdrawn = false;
    QTimer check(&box);
    if (stillApplies) {
        QObject::connect(&check, &QTimer::timeout, &box, [&] {
            if (stillApplies()) return;
            withdrawn = true;
            box.reject();
        });
        check.start(kStillAppliesCheckMs);
    }
    const int answer = box.exec();
    if (withdrawn) return MsgBox::IdWithdrawn;
    // A box without Cancel has no other answer than OK, however it was closed.
    if (box.button(QMessageBox::Cancel) == nullptr) return MsgBox::IdOk;
    return answer == QMessageBox::Ok ? MsgBox::IdOk : MsgBox::IdCancel;
}

bool QtDialogServices::ChooseOpenFile(const QString& filter, const QString& startFolder,
                                      QString& path) {
    QFileDialog dialog(DialogParent());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (!startFolder.isEmpty() && QFileInfo(startFolder).isDir()) dialog.setDirectory(startFolder);
    LetOpenTakeTypedFiles(dialog);
    return RunFileDialog(dialog, filter, path);
}

bool QtDialogServices::ChooseSaveFile(const QString& filter, const QString& defaultExtension,
                                      QString& path) {
    QFileDialog dialog(DialogParent());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultExtension);  // Qt asks before replacing a file by default
    return RunFileDialog(dialog, filter, path);
}

void QtDialogServices::OpenDocument(const QString& path) {
    // On Windows Qt hands a file URL to the shell, which opens it with its associated program.
    QDesktopServices::openUrl(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
}
