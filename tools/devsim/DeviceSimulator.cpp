#include "DeviceSimulator.h"

#include <fcntl.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

#include "AnswerDamage.h"
#include "SampleSet.h"
#include "support/SafeFile.h"

namespace {
constexpr int kConnect = 0, kOpen = 9330, kRead = 9030, kClose = 9430, kWrite = 9130,
              kRemove = 9530;
constexpr size_t kMaxPendingInput = 64 * 1024;

unsigned ByteSum(const std::string& text, size_t length) {
    unsigned sum = 0;
    for (size_t i = 0; i < length; ++i) sum += static_cast<unsigned char>(text[i]);
    return sum & 0xFF;
}

std::string Hex(const QByteArray& bytes) { return bytes.toHex().toUpper().toStdString(); }

QString Printable(const std::string& bytes) {
    QString out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\r')
            out += QStringLiteral("\\r");
        else if (c == '\n')
            out += QStringLiteral("\\n");
        else if (u < 0x20 || u > 0x7E)
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            out += QLatin1Char(c);
    }
    return out;
}

int DefaultCommand(FaultKind kind) {
    switch (kind) {
        case FaultKind::RefuseOpen: return kOpen;
        case FaultKind::OddData:
        case FaultKind::LongData: return kRead;
        case FaultKind::RefuseWrite:
        case FaultKind::CorruptStore:
            return kWrite;
        case FaultKind::RefuseRemove: return kRemove;
        default: return -1;
    }
}

const QRegularExpression& ConnectFrame() {
    static const QRegularExpression re(QRegularExpression::anchoredPattern(
        QStringLiteral("CMD:0000,CNT:([0-9A-F]{2}),DATA:FFFF000000,SUM:([0-9A-F]{2})\r\n")));
    return re;
}
const QRegularExpression& SlotFrame() {
    static const QRegularExpression re(QRegularExpression::anchoredPattern(QStringLiteral(
        "CMD:(9330|9030|9430|9530),CNT:([0-9A-F]{2}),POS:([0-9A-F]{4}),SUM:([0-9A-F]{2})\r\n")));
    return re;
}
const QRegularExpression& WriteFrame() {
    static const QRegularExpression re(QRegularExpression::anchoredPattern(
        QStringLiteral("CMD:9130,CNT:([0-9A-F]{2}),POS:([0-9A-F]{4}),"
                       "DATA:((?:[0-9A-F]{2}){1,256}),SUM:([0-9A-F]{2})\r\n")));
    return re;
}
}  // namespace

DeviceSimulator::DeviceSimulator(SimOptions options)
    : m_options(std::move(options)),
      m_inLine(m_options.baud / 10.0),
      m_outLine(m_options.baud / 10.0) {
    if (m_options.pieceSize < 1) m_options.pieceSize = 1;
    if (m_options.pieceSize > MAX_PIECE) m_options.pieceSize = MAX_PIECE;
}

DeviceSimulator::~DeviceSimulator() { Close(); }

QString DeviceSimulator::SlotFileName(int slot) {
    return QStringLiteral("slot%1").arg(slot, 2, 10, QLatin1Char('0'));
}

std::string DeviceSimulator::CompleteAnswer(const std::string& body) {
    char sum[16];
    std::snprintf(sum, sizeof sum, "SUM:%02X\r\n", ByteSum(body, body.size()));
    return body + sum;
}

bool DeviceSimulator::ParseFault(const QString& text, SimFault& fault, QString& error) {
    static const std::pair<const char*, FaultKind> kinds[] = {
        {"refuse-open", FaultKind::RefuseOpen},     {"bad-checksum", FaultKind::BadChecksum},
        {"split", FaultKind::SplitAnswer},          {"garbage", FaultKind::Garbage},
        {"odd-data", FaultKind::OddData},           {"long-data", FaultKind::LongData},
        {"no-answer", FaultKind::NoAnswer},         {"refuse-write", FaultKind::RefuseWrite},
        {"refuse-remove", FaultKind::RefuseRemove}, {"vanish", FaultKind::Vanish},
        {"corrupt-store", FaultKind::CorruptStore},
    };
    const QStringList parts = text.split(QLatin1Char(','));
    SimFault parsed;
    bool known = false;
    for (const auto& [name, kind] : kinds) {
        if (parts.front() == QLatin1String(name)) {
            parsed.kind = kind;
            known = true;
        }
    }
    if (!known) {
        error = QStringLiteral("unknown fault '%1'").arg(parts.front());
        return false;
    }
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QString key = parts[i].section(QLatin1Char('='), 0, 0);
        const QString value = parts[i].section(QLatin1Char('='), 1);
        bool ok = false;
        const int number = value.toInt(&ok);
        if (key == QLatin1String("times") && value == QLatin1String("always")) {
            parsed.times = -1;
            continue;
        }
        if (!ok || number < 0) {
            error = QStringLiteral("bad value in '%1'").arg(parts[i]);
            return false;
        }
        if (key == QLatin1String("cmd"))
            parsed.command = number;
        else if (key == QLatin1String("slot"))
            parsed.slot = number;
        else if (key == QLatin1String("after"))
            parsed.after = number;
        else if (key == QLatin1String("times"))
            parsed.times = number;
        else {
            error = QStringLiteral("unknown key in '%1'").arg(parts[i]);
            return false;
        }
    }
    fault = parsed;
    return true;
}

bool DeviceSimulator::LoadFolder() {
    const QDir dir(m_options.folder);
    if (!dir.exists()) {
        if (m_options.persist && QDir().mkpath(m_options.folder)) return true;
        m_lastError = QStringLiteral("slot folder %1 does not exist").arg(m_options.folder);
        return false;
    }
    for (int slot = 0; slot < SLOT_COUNT; ++slot) {
        QFile file(dir.filePath(SlotFileName(slot)));
        if (!file.exists()) continue;
        if (!file.open(QIODevice::ReadOnly)) {
            m_lastError = QStringLiteral("cannot read %1").arg(file.fileName());
            return false;
        }
        const QByteArray data = file.readAll();
        if (data.size() > SLOT_CAPACITY) {
            m_lastError = QStringLiteral("%1 holds more than %2 bytes")
                              .arg(file.fileName())
                              .arg(SLOT_CAPACITY);
            return false;
        }
        m_slots[static_cast<size_t>(slot)] = data;
    }
    return true;
}

bool DeviceSimulator::SaveSlot(int slot) {
    if (!m_options.persist || m_options.folder.isEmpty()) return true;
    const QString path = QDir(m_options.folder).filePath(SlotFileName(slot));
    const QByteArray& data = m_slots[static_cast<size_t>(slot)];
    if (data.isEmpty()) {
        QFile file(path);
        if (!file.exists() || file.remove()) return true;
        m_lastError = path + QStringLiteral(": ") + file.errorString();
        return false;
    }
    SafeFile file;
    if (file.Begin(path, FileAccess::Usual) &&
        file.Write(data.constData(), static_cast<std::size_t>(data.size())) && file.Commit())
        return true;
    m_lastError = file.Error();
    return false;
}

bool DeviceSimulator::Open() {
    switch (m_options.content) {
        case SimOptions::Content::Empty: break;
        case SimOptions::Content::Folder:
            if (!LoadFolder()) return false;
            break;
        case SimOptions::Content::Sample:
            if (!MakeSampleSlots(m_slots, m_lastError)) return false;
            if (!m_options.folder.isEmpty()) {
                // Leaves the sample files where a user can pick them for a Write.
                const bool keep = m_options.persist;
                m_options.persist = QDir().mkpath(m_options.folder);
                for (int slot = 0; slot < SLOT_COUNT; ++slot) SaveSlot(slot);
                m_options.persist = keep;
            }
            break;
    }

    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    char name[128] = {};
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0 ||
        ::ptsname_r(m_master, name, sizeof name) != 0) {
        m_lastError = QStringLiteral("cannot create a pseudo-terminal: %1")
                          .arg(QString::fromLocal8Bit(std::strerror(errno)));
        Close();
        return false;
    }
    m_portPath = QString::fromLocal8Bit(name);
    // Holding the line open keeps the master readable between host connections, and raw
    // mode keeps CR LF intact before the host configures the line.
    m_slaveKeepAlive = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_slaveKeepAlive >= 0) {
        termios t{};
        if (::tcgetattr(m_slaveKeepAlive, &t) == 0) {
            ::cfmakeraw(&t);
            (void)::tcsetattr(m_slaveKeepAlive, TCSANOW, &t);
        }
    }
    m_vanished = false;
    return true;
}

void DeviceSimulator::Close() {
    if (m_slaveKeepAlive >= 0) ::close(m_slaveKeepAlive);
    if (m_master >= 0) ::close(m_master);
    if (m_master >= 0 || m_slaveKeepAlive >= 0) m_vanished = true;
    m_slaveKeepAlive = -1;
    m_master = -1;
    m_output.clear();
    m_onLine.clear();
}

void DeviceSimulator::Log(const QString& text) const {
    if (m_options.log) m_options.log(text);
}

void DeviceSimulator::FrameError(const QString& reason, const std::string& line) {
    const QString entry = reason + QStringLiteral(": ") + Printable(line);
    m_frameErrors << entry;
    Log(QStringLiteral("!! ") + entry);
}

void DeviceSimulator::Poll() {
    if (m_master < 0) return;
    char buffer[4096];
    for (int round = 0; round < 16; ++round) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0) break;
        m_input.append(buffer, static_cast<size_t>(n));
        m_inLine.Hand(static_cast<size_t>(n), Clock::now());
    }
    // Only a line whose CR LF has crossed the line is complete.
    size_t end;
    while (m_master >= 0 && (end = m_input.find("\r\n")) != std::string::npos &&
           m_inputTaken + end + 2 <= m_inLine.Crossed(Clock::now())) {
        const std::string line = m_input.substr(0, end + 2);
        m_input.erase(0, end + 2);
        m_inputTaken += end + 2;
        HandleLine(line);
    }
    if (m_input.size() > kMaxPendingInput) {
        FrameError(QStringLiteral("no CR LF in 64 KiB"), m_input.substr(0, 64));
        m_inputTaken += m_input.size();
        m_input.clear();
    }
    Flush();
}

bool DeviceSimulator::Strikes(FaultKind kind, int command, int slot) {
    bool strikes = false;
    for (SimFault& fault : m_options.faults) {
        if (fault.kind != kind) continue;
        const int wanted = fault.command >= 0 ? fault.command : DefaultCommand(kind);
        if (wanted >= 0 && wanted != command) continue;
        if (fault.slot >= 0 && fault.slot != slot) continue;
        ++fault.seen;
        if (fault.seen > fault.after && (fault.times < 0 || fault.seen - fault.after <= fault.times))
            strikes = true;
    }
    return strikes;
}

void DeviceSimulator::HandleLine(const std::string& line) {
    ++m_framesReceived;
    Log(QStringLiteral("<- ") + Printable(line));
    const QString text = QString::fromLatin1(line.data(), static_cast<qsizetype>(line.size()));

    int command = -1, count = -1, pos = 0;
    QString sumText;
    std::string data;
    if (const auto m = ConnectFrame().match(text); m.hasMatch()) {
        command = kConnect;
        count = m.captured(1).toInt(nullptr, 16);
        sumText = m.captured(2);
    } else if (const auto s = SlotFrame().match(text); s.hasMatch()) {
        command = s.captured(1).toInt();
        count = s.captured(2).toInt(nullptr, 16);
        pos = s.captured(3).toInt(nullptr, 16);
        sumText = s.captured(4);
    } else if (const auto w = WriteFrame().match(text); w.hasMatch()) {
        command = kWrite;
        count = w.captured(1).toInt(nullptr, 16);
        pos = w.captured(2).toInt(nullptr, 16);
        data = w.captured(3).toStdString();
        sumText = w.captured(4);
    } else {
        FrameError(QStringLiteral("malformed frame"), line);
        return;
    }
    const size_t sumAt = line.rfind(",SUM:") + 1;
    if (static_cast<unsigned>(sumText.toInt(nullptr, 16)) != ByteSum(line, sumAt)) {
        FrameError(QStringLiteral("wrong checksum"), line);
        return;  // a corrupt frame is not answered
    }

    // Every frame takes the next count, with one exception: a write that finds its file
    // exhausted uses a count without sending, so the close after it may be two ahead.
    if (command != kConnect && m_lastCount >= 0) {
        const int next = (m_lastCount + 1) % 256;
        const bool skipAllowed = command == kClose && m_openSlot >= 0 && !m_openForRead &&
                                 count == (m_lastCount + 2) % 256;
        if (count != next && !skipAllowed)
            FrameError(QStringLiteral("CNT %1 where %2 was due")
                           .arg(QString::number(count, 16).toUpper().rightJustified(2, u'0'),
                                QString::number(next, 16).toUpper().rightJustified(2, u'0')),
                       line);
    }
    m_lastCount = count;

    const int slot = command == kConnect ? -1 : (command == kOpen ? (pos & 0x7F) : pos);
    if (Strikes(FaultKind::Vanish, command, slot)) {
        Log(QStringLiteral("** vanishing"));
        Close();
        return;
    }
    if (Strikes(FaultKind::NoAnswer, command, slot)) {
        Log(QStringLiteral("** not answering"));
        return;
    }
    Send(Answer(command, pos, data, slot), command, slot);
}

std::string DeviceSimulator::Answer(int command, int pos, const std::string& data, int slot) {
    const bool validSlot = slot >= 0 && slot < SLOT_COUNT;
    auto result = [](int code, bool ok) {
        char text[32];
        std::snprintf(text, sizeof text, "CMD:%04d,RES:%s,", code, ok ? "OK" : "NG");
        return std::string(text);
    };
    switch (command) {
        case kConnect:
            m_openSlot = -1;
            return result(kConnect, true);
        case kOpen: {
            const bool forRead = (pos & 0x80) != 0;
            bool ok = validSlot && pos < 0x100;
            if (ok && forRead && m_slots[static_cast<size_t>(slot)].isEmpty()) ok = false;
            if (Strikes(FaultKind::RefuseOpen, command, slot)) ok = false;
            if (ok) {
                m_openSlot = slot;
                m_openForRead = forRead;
                m_readOffset = 0;
                m_staging.clear();
            }
            return result(kOpen, ok);
        }
        case kRead: {
            const bool odd = Strikes(FaultKind::OddData, command, slot);
            const bool longData = Strikes(FaultKind::LongData, command, slot);
            if (!(validSlot && slot == m_openSlot && m_openForRead)) return result(kRead, false);
            const QByteArray& file = m_slots[static_cast<size_t>(slot)];
            const QByteArray piece = file.mid(m_readOffset, m_options.pieceSize);
            m_readOffset += static_cast<int>(piece.size());
            std::string digits = Hex(piece);
            if (odd) digits = AnswerDamage::OddDigits(digits);
            if (longData) digits = AnswerDamage::LongDigits(std::move(digits));
            char head[64];
            std::snprintf(head, sizeof head, "CMD:9030,RES:OK,PALL:%04X,DATA:",
                          static_cast<unsigned>(file.size()));
            return head + digits + ",";
        }
        case kWrite: {
            const bool refused = Strikes(FaultKind::RefuseWrite, command, slot);
            const bool corrupt = Strikes(FaultKind::CorruptStore, command, slot);
            QByteArray bytes = QByteArray::fromHex(QByteArray::fromStdString(data));
            const bool ok = !refused && validSlot && slot == m_openSlot && !m_openForRead &&
                            m_staging.size() + bytes.size() <= SLOT_CAPACITY;
            if (ok && corrupt && !bytes.isEmpty()) {
                Log(QStringLiteral("** storing the piece with one byte changed"));
                bytes[bytes.size() / 2] = static_cast<char>(bytes[bytes.size() / 2] ^ 0x01);
            }
            if (ok) m_staging += bytes;
            return result(kWrite, ok);
        }
        case kClose: {
            const bool ok = validSlot && slot == m_openSlot;
            if (ok && !m_openForRead) {
                m_slots[static_cast<size_t>(slot)] = m_staging;
                if (!SaveSlot(slot)) Log(QStringLiteral("!! cannot save ") + m_lastError);
            }
            if (ok) m_openSlot = -1;
            m_staging.clear();
            return result(kClose, ok);
        }
        case kRemove: {
            const bool ok = validSlot && !Strikes(FaultKind::RefuseRemove, command, slot);
            if (ok) {
                m_slots[static_cast<size_t>(slot)].clear();
                if (!SaveSlot(slot)) Log(QStringLiteral("!! cannot save ") + m_lastError);
            }
            return result(kRemove, ok);
        }
        default: return result(command, false);
    }
}

void DeviceSimulator::Send(std::string body, int command, int slot) {
    std::string answer = CompleteAnswer(body);
    if (Strikes(FaultKind::BadChecksum, command, slot))
        answer = AnswerDamage::WithBadChecksum(body);
    if (Strikes(FaultKind::Garbage, command, slot))
        answer = AnswerDamage::WithGarbageBefore(answer);
    Log(QStringLiteral("-> ") + Printable(answer));
    ++m_answersSent;
    const Clock::time_point now = Clock::now();
    if (Strikes(FaultKind::SplitAnswer, command, slot) && answer.size() > 1) {
        auto [first, second] = AnswerDamage::InHalves(answer);
        m_output.push_back({std::move(first), now});
        m_output.push_back(
            {std::move(second), now + std::chrono::milliseconds(m_options.splitDelayMs)});
    } else {
        m_output.push_back({std::move(answer), now});
    }
}

void DeviceSimulator::Flush() {
    const Clock::time_point now = Clock::now();
    while (!m_output.empty() && m_output.front().due <= now) {
        m_onLine += m_output.front().bytes;
        m_outLine.Hand(m_output.front().bytes.size(), m_output.front().due);
        m_output.pop_front();
    }
    // What has crossed the line reaches the host; the rest waits for its time.
    while (m_master >= 0 && !m_onLine.empty()) {
        const size_t due = std::min(m_onLine.size(), m_outLine.Crossed(now) - m_lineWritten);
        if (due == 0) return;
        const ssize_t n = ::write(m_master, m_onLine.data(), due);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
            m_onLine.clear();  // the line is gone
            return;
        }
        m_onLine.erase(0, static_cast<size_t>(n));
        m_lineWritten += static_cast<size_t>(n);
    }
}

int DeviceSimulator::MillisecondsToNextWork(int longest) const {
    std::optional<Clock::time_point> next;
    const auto consider = [&next](Clock::time_point when) {
        if (!next || when < *next) next = when;
    };
    if (!m_output.empty()) consider(m_output.front().due);
    // Wake for a few bytes at a time rather than for every byte.
    constexpr size_t kBytesPerWake = 16;
    if (!m_onLine.empty())
        consider(m_outLine.WhenCrossed(m_lineWritten + std::min(m_onLine.size(), kBytesPerWake)));
    if (const size_t end = m_input.find("\r\n"); end != std::string::npos)
        consider(m_inLine.WhenCrossed(m_inputTaken + end + 2));
    if (!next) return longest;
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(wait, 0, longest));
}
