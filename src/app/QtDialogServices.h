#pragma once
// Message boxes, file dialogs and opening a document with Qt widgets.

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include "support/DialogServices.h"

// "desc|pattern|desc|pattern|" as Qt name filters, one per pair, in order. A description
// that already ends with its pattern in parentheses is kept as it is; otherwise the pattern
// is appended in parentheses. Several patterns separated by ';' become Qt's blank-separated
// list.
QStringList QtNameFilters(const QString& filter);

// The message box icon and buttons of a MsgBox style.
QMessageBox::Icon MessageBoxIcon(unsigned type);
QMessageBox::StandardButtons MessageBoxButtons(unsigned type);

class QtDialogServices : public DialogServices {
public:
    explicit QtDialogServices(QWidget* owner = nullptr) : m_owner(owner) {}

    // The window that owns the boxes and dialogs (the main dialog once it exists), and a
    // window that floats above it (the progress window): while that one is shown the boxes
    // and dialogs open over it instead, where it cannot cover them.
    void SetOwner(QWidget* owner, QWidget* floating = nullptr) {
        m_owner = owner;
        m_floating = floating;
    }
    // The parent of the next box or dialog.
    QWidget* DialogParent() const;

    int ShowMessageBox(const QString& text, const QString& caption, unsigned type) override;
    int ShowMessageBoxWhile(const QString& text, const QString& caption, unsigned type,
                            const std::function<bool()>& stillApplies) override;
    bool ChooseOpenFile(const QString& filter, const QString& startFolder,
                        QString& path) override;
    bool ChooseSaveFile(const QString& filter, const QString& defaultExtension,
                        QString& path) override;
    void OpenDocument(const QString& path) override;

private:
    int RunMessageBox(const QString& text, const QString& caption, unsigned type,
                      const std::function<bool()>& stillApplies);

    QPointer<QWidget> m_owner;
    QPointer<QWidget> m_floating;
};
