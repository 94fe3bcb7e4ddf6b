#include "link/Win32Port.h"

#include <algorithm>

DCB Win32LineSettings(const DCB& current) {
    DCB dcb = current;
    dcb.BaudRate = 115200;
    dcb.ByteSize = 7;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    return dcb;
}

COMMTIMEOUTS Win32Timeouts() {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 100;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 10;
    return timeouts;
}

std::wstring ComDevicePath(const QString& location) {
    const QString path =
        location.startsWith(QStringLiteral("\\\\.\\")) ? location : QStringLiteral("\\\\.\\") + location;
    return path.toStdWString();
}

PortOpenError Win32OpenError(DWORD code) {
    PortOpenError error;
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    if (length > 0 && text != nullptr) {
        error.detail = QString::fromWCharArray(text, static_cast<qsizetype>(length)).trimmed();
        LocalFree(text);
    }
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_UNIT:
            error.failure = PortOpenFailure::Missing;
            break;
        // A COM port that another program holds answers "access denied".
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            error.failure = PortOpenFailure::InUse;
            break;
        default:
            error.failure = PortOpenFailure::Other;
            break;
    }
    return error;
}

std::wstring PortClaimName(const QString& location) {
    const QString path = QString::fromStdWString(ComDevicePath(location));
    return (QStringLiteral("Local\\Quillbank.port.") + path.mid(4).toUpper()).toStdWString();
}

std::unique_ptr<Win32Port> Win32Port::OpenPath(const QString& location, PortOpenError* error) {
    const HANDLE claim = CreateMutexW(nullptr, FALSE, PortClaimName(location).c_str());
    const DWORD claimed = GetLastError();
    if (claim == nullptr || claimed == ERROR_ALREADY_EXISTS) {
        if (claim != nullptr) CloseHandle(claim);
        if (error != nullptr)
            *error = Win32OpenError(claim != nullptr ? ERROR_SHARING_VIOLATION : claimed);
        return nullptr;
    }
    const HANDLE handle = CreateFileW(ComDevicePath(location).c_str(), GENERIC_READ | GENERIC_WRITE,
                                      0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD code = GetLastError();
        CloseHandle(claim);
        if (error != nullptr) *error = Win32OpenError(code);
        return nullptr;
    }
    return std::make_unique<Win32Port>(handle, claim);
}

Win32Port::~Win32Port() {
    CloseHandle(m_handle);
    CloseHandle(m_claim);
}

bool Win32Port::GetState() {
    m_dcb = DCB{};
    m_dcb.DCBlength = sizeof(DCB);
    return GetCommState(m_handle, &m_dcb) != FALSE;
}

void Win32Port::Purge() {
    PurgeComm(m_handle, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
}

bool Win32Port::SetState() {
    m_dcb = Win32LineSettings(m_dcb);
    return SetCommState(m_handle, &m_dcb) != FALSE;
}

bool Win32Port::GetTimeouts() {
    m_timeouts = COMMTIMEOUTS{};
    return GetCommTimeouts(m_handle, &m_timeouts) != FALSE;
}

bool Win32Port::SetTimeouts() {
    m_timeouts = Win32Timeouts();
    return SetCommTimeouts(m_handle, &m_timeouts) != FALSE;
}

void Win32Port::RaiseRts() {
    EscapeCommFunction(m_handle, SETRTS);
}

bool Win32Port::Read(char* buffer, int capacity, int& count) {
    DWORD read = 0;
    const BOOL ok = ReadFile(m_handle, buffer, static_cast<DWORD>(std::max(capacity, 0)), &read,
                             nullptr);
    count = static_cast<int>(read);
    return ok != FALSE;
}

void Win32Port::Write(const char* data, int length) {
    DWORD written = 0;
    WriteFile(m_handle, data, static_cast<DWORD>(std::max(length, 0)), &written, nullptr);
}

std::unique_ptr<CommPort> Win32PortProvider::Open(const QString& location) {
    m_lastError = {};
    return Win32Port::OpenPath(location, &m_lastError);
}
