#pragma once
// Dialog services with scripted answers: every call is recorded, answers are taken from
// queues (a message box answers IdOk when its queue is empty; a file dialog is cancelled).

#include <QString>
#include <deque>
#include <functional>
#include <vector>

#include "support/DialogServices.h"

class FakeDialogServices : public DialogServices {
public:
    struct Message {
        QString text;
        QString caption;
        unsigned type;
    };
    struct FileDialog {
        bool save;
        QString filter;
        QString folderOrExtension;  // start folder (open) or default extension (save)
    };

    std::vector<Message> messages;
    std::vector<FileDialog> fileDialogs;
    std::vector<QString> openedDocuments;

    std::deque<int> messageAnswers;
    std::deque<QString> fileAnswers;  // an empty string cancels

    int ShowMessageBox(const QString& text, const QString& caption, unsigned type) override {
        messages.push_back({text, caption, type});
        if (onMessage) onMessage();
        if (messageAnswers.empty()) return MsgBox::IdOk;
        const int answer = messageAnswers.front();
        messageAnswers.pop_front();
        return answer;
    }
    // Asked like any box; a condition that fails inside the box (onMessage) takes it down
    // unanswered, whatever answer was scripted.
    int ShowMessageBoxWhile(const QString& text, const QString& caption, unsigned type,
                            const std::function<bool()>& stillApplies) override {
        if (!stillApplies()) return MsgBox::IdWithdrawn;
        const int answer = ShowMessageBox(text, caption, type);
        return stillApplies() ? answer : MsgBox::IdWithdrawn;
    }
    bool ChooseOpenFile(const QString& filter, const QString& startFolder,
                        QString& path) override {
        fileDialogs.push_back({false, filter, startFolder});
        return NextFile(path);
    }
    bool ChooseSaveFile(const QString& filter, const QString& defaultExtension,
                        QString& path) override {
        fileDialogs.push_back({true, filter, defaultExtension});
        return NextFile(path);
    }
    void OpenDocument(const QString& path) override { openedDocuments.push_back(path); }

    // Runs inside a message box, like the timer ticks of a nested message loop.
    std::function<void()> onMessage;

private:
    bool NextFile(QString& path) {
        if (onFileDialog) onFileDialog();
        if (fileAnswers.empty()) return false;
        path = fileAnswers.front();
        fileAnswers.pop_front();
        return !path.isEmpty();
    }

public:
    // Runs inside a file dialog.
    std::function<void()> onFileDialog;
};
