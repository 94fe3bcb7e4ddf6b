#pragma once
// The dialogs of a command line: message boxes become lines on standard error, and the
// questions are asked on the terminal unless --yes answers them. There are no file dialogs:
// the commands hand the engine the files the command line named.

#include <QString>
#include <QTextStream>

#include "session/CliSession.h"

class CliDialogs : public SessionDialogs {
public:
    CliDialogs(QTextStream& err, bool assumeYes, bool interactive);

    // Put before each question, so that one of several can be told apart ("slot 3: ").
    void SetSubject(const QString& subject) { m_subject = subject; }

    // Asks `question`; true when it is answered yes (or --yes answers it).
    bool Confirm(const QString& question) override;
    // "quillbank-cli: TEXT" on standard error.
    void Tell(const QString& text) override;
    // "quillbank-cli: FILE: WHAT" on standard error.
    void TellAboutFile(const QString& file, const QString& what) override;

    int ShowMessageBox(const QString& text, const QString& caption, unsigned type) override;
    bool ChooseOpenFile(const QString& filter, const QString& startFolder, QString& path) override;
    bool ChooseSaveFile(const QString& filter, const QString& defaultExtension,
                        QString& path) override;
    void OpenDocument(const QString& path) override;

private:
    QTextStream& m_err;
    QString m_subject;
    bool m_assumeYes;
    bool m_interactive;
};
