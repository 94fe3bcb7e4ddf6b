#pragma once
// The dialogs of the window's commands on a command line: message boxes become lines on
// standard error, the file dialogs answer with the file the command line named, and the
// questions are asked on the terminal unless --yes answers them.

#include <QString>
#include <QStringList>
#include <QTextStream>

#include "support/DialogServices.h"

class CliDialogs : public DialogServices {
public:
    CliDialogs(QTextStream& err, bool assumeYes, bool interactive);

    // The file that the next open or save dialog answers with.
    void SetFile(const QString& file) { m_file = file; }
    const QString& File() const { return m_file; }
    // Put before each question, so that one of several can be told apart ("slot 3: ").
    void SetSubject(const QString& subject) { m_subject = subject; }
    // Forgets what the last command's dialogs saw.
    void Reset();

    int ShowMessageBox(const QString& text, const QString& caption, unsigned type) override;
    bool ChooseOpenFile(const QString& filter, const QString& startFolder, QString& path) override;
    bool ChooseSaveFile(const QString& filter, const QString& defaultExtension,
                        QString& path) override;
    void OpenDocument(const QString& path) override;

    QStringList messages;      // every message box text since Reset, in order
    bool declined = false;     // a confirmation was answered no
    bool fileProblem = false;  // the file could not be used (already said why)

private:
    bool Confirm(const QString& question);

    QTextStream& m_err;
    QString m_file;
    QString m_subject;
    bool m_assumeYes;
    bool m_interactive;
};
