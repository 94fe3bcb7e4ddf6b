#include "PrefixedLines.h"

void SharedLines::Write(const QString& lines) {
    const std::lock_guard<std::mutex> guard(m_mutex);
    m_target << lines;
    m_target.flush();
}

PrefixedLines::PrefixedLines(SharedLines& target, QString prefix)
    : m_target(target), m_prefix(std::move(prefix)) {
    // An in-memory stream onto the shared lines; no file is written here.
    open(QIODevice::WriteOnly);
}

PrefixedLines::~PrefixedLines() {
    PrefixedLines::close();
}

void PrefixedLines::close() {
    if (!m_open.isEmpty()) {
        m_target.Write(m_prefix + QString::fromUtf8(m_open) + u'\n');
        m_open.clear();
    }
    QIODevice::close();
}

qint64 PrefixedLines::readData(char*, qint64) {
    return -1;
}

qint64 PrefixedLines::writeData(const char* data, qint64 size) {
    m_open.append(data, static_cast<qsizetype>(size));
    const qsizetype end = m_open.lastIndexOf('\n');
    if (end < 0) return size;
    // Whole lines only, so that a character split between two writes stays whole.
    QString lines;
    for (const QByteArray& line : m_open.left(end).split('\n')) {
        const QString text = QString::fromUtf8(line);
        if (!m_marker.isEmpty() && text.startsWith(m_marker)) m_last = text.mid(m_marker.size());
        lines += m_prefix + text + u'\n';
    }
    m_open.remove(0, end + 1);
    m_target.Write(lines);
    return size;
}
