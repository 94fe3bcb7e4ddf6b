#pragma once
// The output of several devices on one terminal: each device writes through a stream of its
// own, and every whole line reaches the shared stream at once, behind the device's name
// ("ttyACM0: slot 3 saved to ..."), never mixed with another device's line.

#include <QByteArray>
#include <QIODevice>
#include <QString>
#include <QTextStream>
#include <mutex>

// A stream that several threads write whole lines to.
class SharedLines {
public:
    explicit SharedLines(QTextStream& target) : m_target(target) {}
    void Write(const QString& lines);

private:
    std::mutex m_mutex;
    QTextStream& m_target;
};

// A write-only device that puts `prefix` before each line it passes on. A line still open
// when it closes is ended there.
class PrefixedLines : public QIODevice {
public:
    PrefixedLines(SharedLines& target, QString prefix);
    ~PrefixedLines() override;
    void close() override;
    // The last whole line passed on that starts with `marker`, without the marker; lines
    // of the trace in between do not count.
    void KeepLast(QString marker) { m_marker = std::move(marker); }
    const QString& Last() const { return m_last; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    SharedLines& m_target;
    QString m_prefix;
    QByteArray m_open;  // the start of a line whose end has not come yet
    QString m_marker;
    QString m_last;
};
