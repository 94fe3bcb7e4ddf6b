#pragma once
// What the commands and the engine need from the platform's standard dialogs. The window
// implements it with Qt widgets, the command-line tool with its arguments and the terminal,
// and tests with scripted answers.

#include <QString>
#include <functional>

// Message box styles and results, with the values of the platform they come from.
struct MsgBox {
    enum Style : unsigned {
        Ok = 0x00,
        OkCancel = 0x01,
        IconError = 0x10,
        IconQuestion = 0x20,
        IconExclamation = 0x30,
    };
    // IdWithdrawn is no button: a box taken down unanswered (ShowMessageBoxWhile).
    enum Result : int { IdWithdrawn = 0, IdOk = 1, IdCancel = 2 };
};

class DialogServices {
public:
    virtual ~DialogServices() = default;

    // Modal message box; an empty caption shows the application's name. Returns IdOk or
    // IdCancel.
    virtual int ShowMessageBox(const QString& text, const QString& caption, unsigned type) = 0;

    // A message box about a passing state: shown only while `stillApplies` holds, and taken
    // down unanswered (IdWithdrawn) once it stops holding while the box is open. Dialogs that
    // cannot take a box down ask as ShowMessageBox does; the caller judges the answer then.
    virtual int ShowMessageBoxWhile(const QString& text, const QString& caption, unsigned type,
                                    const std::function<bool()>& stillApplies) {
        return stillApplies() ? ShowMessageBox(text, caption, type) : MsgBox::IdWithdrawn;
    }

    // Open dialog: `filter` is "description|pattern|..." with a trailing "|"; the chosen file
    // must exist; starts in `startFolder` (system default when empty or missing). False when
    // cancelled.
    virtual bool ChooseOpenFile(const QString& filter, const QString& startFolder,
                               QString& path) = 0;

    // Save dialog: appends `defaultExtension` to a name typed without one and asks before
    // replacing an existing file. False when cancelled.
    virtual bool ChooseSaveFile(const QString& filter, const QString& defaultExtension,
                               QString& path) = 0;

    // Opens a document with the desktop's associated application; the result is not examined.
    virtual void OpenDocument(const QString& path) = 0;
};
