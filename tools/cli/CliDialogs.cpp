#include "CliDialogs.h"

#include <unistd.h>

#include <QFileInfo>
#include <cstdio>

#include "StopSignals.h"

CliDialogs::CliDialogs(QTextStream& err, bool assumeYes, bool interactive)
    : m_err(err), m_assumeYes(assumeYes), m_interactive(interactive) {}

void CliDialogs::Reset() {
    messages.clear();
    declined = false;
    fileProblem = false;
}

bool CliDialogs::Confirm(const QString& question) {
    if (m_assumeYes) return true;
    if (!m_interactive) {
        m_err << m_subject << question << "\nquillbank-cli: not confirmed; pass --yes to confirm\n";
        m_err.flush();
        declined = true;
        return false;
    }
    m_err << m_subject << question << " [y/N] ";
    m_err.flush();
    // A signal while the question waits is a no, and the command then stops.
    if (!AwaitInputUnlessStopped(STDIN_FILENO)) {
        m_err << "\n";
        m_err.flush();
        declined = true;
        return false;
    }
    QTextStream in(stdin);
    const QString answer = in.readLine().trimmed().toLower();
    const bool yes = answer == QLatin1String("y") || answer == QLatin1String("yes");
    declined = !yes;
    return yes;
}

int CliDialogs::ShowMessageBox(const QString& text, const QString&, unsigned type) {
    messages << text;
    if ((type & 0x0F) == MsgBox::OkCancel) return Confirm(text) ? MsgBox::IdOk : MsgBox::IdCancel;
    m_err << "quillbank-cli: " << text << "\n";
    m_err.flush();
    return MsgBox::IdOk;
}

bool CliDialogs::ChooseOpenFile(const QString&, const QString&, QString& path) {
    const QFileInfo info(m_file);
    if (!info.isFile()) {
        m_err << "quillbank-cli: " << m_file
              << (info.exists() ? ": not a file\n" : ": no such file\n");
        fileProblem = true;
        return false;
    }
    path = info.absoluteFilePath();
    return true;
}

bool CliDialogs::ChooseSaveFile(const QString&, const QString&, QString& path) {
    // The name is used as given: a script gets exactly the file it named.
    const QFileInfo info(m_file);
    if (info.isDir()) {
        m_err << "quillbank-cli: " << m_file << ": is a folder\n";
        fileProblem = true;
        return false;
    }
    if (info.exists() && !Confirm(m_file + QStringLiteral(" exists. Replace it?"))) return false;
    path = info.absoluteFilePath();
    return true;
}

void CliDialogs::OpenDocument(const QString& path) {
    m_err << path << "\n";
}
