#pragma once
// Our programs as separate processes for end-to-end tests: quillbank-devsim on a
// pseudo-terminal, logging every frame it checks, and runs of quillbank-cli and others. The
// paths come from the build as QB_DEVSIM, QB_CLI (and QB_SHOTS).

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

// Runs a program to its end: code -1 when it did not start or finish, -2 when it crashed.
inline Finished RunProgram(const QString& program, const QStringList& arguments) {
    QProcess process;
    process.start(program, arguments);
    Finished result;
    if (!process.waitForStarted(5000)) return result;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished(3000);
        return result;
    }
    result.code = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -2;
    result.out = QString::fromLocal8Bit(process.readAllStandardOutput());
    result.err = QString::fromLocal8Bit(process.readAllStandardError());
    return result;
}

inline Finished RunCli(const QStringList& arguments) {
    return RunProgram(QStringLiteral(QB_CLI), arguments);
}

inline QStringList ErrorLines(const QString& log) {
    QStringList errors;
    for (const QString& line : log.split(u'\n'))
        if (line.startsWith(QStringLiteral("!!"))) errors << line;
    return errors;
}
