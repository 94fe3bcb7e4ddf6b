#include "CliDialogs.h"

#include <cstdio>

#include "StopSignals.h"

CliDialogs::CliDialogs(QTextStream& err, bool assumeYes, bool interactive)
    : m_err(err), m_assumeYes(assumeYes), m_interactive(interactive) {}

bool CliDialogs::Confirm(const QString& question) {
    if (m_assumeYes) return true;
    if (!m_interactive) {
        m_err << m_subject << question << "\nquillbank-cli: not confirmed; pass --yes to confirm\n";
        m_err.flush();
        return false;
    }
    m_err << m_subject << question << " [y/N] ";
    m_err.flush();
    // A signal while the question waits is a no, and the command then stops.
    // 0: standard input.
    if (!AwaitInputUnlessStopped(0)) {
        m_err << "\n";
        m_err.flush();
        return false;
    }
    QTextStream in(stdin);
    const QString answer = in.readLine().trimmed().toLower();
    return answer == QLatin1String("y") || answer == QLatin1String("yes");
}

void CliDialogs::Tell(const QString& text) {
    m_err << "quillbank-cli: " << text << "\n";
    m_err.flush();
}

void CliDialogs::TellAboutFile(const QString& file, const QString& what) {
    m_err << "quillbank-cli: " << file << ": " << what << "\n";
}

int CliDialogs::ShowMessageBox(const QString& text, const QString&, unsigned type) {
    if ((type & 0x0F) == MsgBox::OkCancel) return Confirm(text) ? MsgBox::IdOk : MsgBox::IdCancel;
    Tell(text);
    return MsgBox::IdOk;
}

// The commands never ask for a file: the command line names it.
bool CliDialogs::ChooseOpenFile(const QString&, const QString&, QString&) { return false; }
bool CliDialogs::ChooseSaveFile(const QString&, const QString&, QString&) { return false; }

void CliDialogs::OpenDocument(const QString& path) {
    m_err << path << "\n";
}
