#pragma once
// The two programs as separate processes for end-to-end tests: quillbank-devsim on a
// pseudo-terminal, logging every frame it checks, and quillbank-cli runs. The paths come
// from the build as QB_DEVSIM and QB_CLI.

#include <QProcess>
#include <QString>
#include <QStringList>

#include "LinkRig.h"

struct Finished {
    int code = -1;
    QString out;
    QString err;
};

class DevsimProcess {
public:
    ~DevsimProcess() {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
    }
    bool Start(const QStringList& arguments, const QString& logFile) {
        m_process.setStandardErrorFile(logFile);
        m_logFile = logFile;
        m_process.start(QStringLiteral(QB_DEVSIM), arguments);
        if (!m_process.waitForStarted(5000)) return false;
        while (!m_process.canReadLine())
            if (!m_process.waitForReadyRead(5000)) return false;
        path = QString::fromLocal8Bit(m_process.readLine()).trimmed();
        return path.startsWith(QStringLiteral("/dev/"));
    }
    // Terminates the program and returns its log.
    QString Stop() {
        m_process.terminate();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(3000);
        }
        return QString::fromLocal8Bit(ReadAll(m_logFile));
    }
    QString path;

private:
    QProcess m_process;
    QString m_logFile;
};

inline Finished RunCli(const QStringList& arguments) {
    QProcess cli;
    cli.start(QStringLiteral(QB_CLI), arguments);
    Finished result;
    if (!cli.waitForStarted(5000)) return result;
    if (!cli.waitForFinished(60000)) {
        cli.kill();
        cli.waitForFinished(3000);
        return result;
    }
    result.code = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -2;
    result.out = QString::fromLocal8Bit(cli.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(cli.readAllStandardError());
    return result;
}

inline QStringList ErrorLines(const QString& log) {
    QStringList errors;
    for (const QString& line : log.split(u'\n'))
        if (line.startsWith(QStringLiteral("!!"))) errors << line;
    return errors;
}
