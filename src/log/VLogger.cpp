#include "log/VLogger.h"

#include <atomic>

#include <shlwapi.h>

#include <clocale>
#include <cwchar>

#include "log/LogFormat.h"
#include "util/ProgramPath.h"

namespace {

const wchar_t kCompanionServiceKey[] = L"SYSTEM\\CurrentControlSet\\Services\\Velmora GX500 Service";
constexpr DWORD kServicePathBytes = 520;
constexpr DWORD kServicePathMaxBytes = 512;
constexpr std::size_t kPendingFlushBytes = 4096;

// The companion service's ImagePath as stored (no expansion, quotes or arguments kept), less its last
// component; empty when the service is not registered or the value is too long.
std::wstring ReadServiceFolder() {
    RegKey key;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCompanionServiceKey, 0, KEY_QUERY_VALUE, key.Put()) != ERROR_SUCCESS)
        return std::wstring();
    wchar_t buffer[kServicePathBytes / sizeof(wchar_t) + 1] = {};  // one spare: a value may lack its terminator
    DWORD size = kServicePathBytes;
    if (::RegQueryValueExW(key.Get(), L"ImagePath", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) !=
            ERROR_SUCCESS ||
        size > kServicePathMaxBytes)
        return std::wstring();
    ::PathRemoveFileSpecW(buffer);
    return buffer;
}

}  // namespace

wchar_t g_szLogPath[MAX_PATH];

VLogger& ProcessLogger() {
    // Made at its first use, not at start-up: nothing runs before main. The locale is set first, so wide text
    // converts with the user's ANSI code page, as in every other narrow conversion of the run-time library.
    static const bool locale = std::setlocale(LC_CTYPE, "") != nullptr;
    (void)locale;
    static VLogger logger(L"\\Cleaner.log", true);
    return logger;
}

std::wstring ResolveLogFolder() {
    std::wstring folder = ReadServiceFolder();
    if (folder.empty()) folder = ProgramFolder();
    return folder;
}

VLogger::VLogger(const wchar_t* fileName, bool inProgramFolder, wchar_t* pathBuffer) {
    if (inProgramFolder) {
        const std::wstring folder = ResolveLogFolder();
        if (!folder.empty() && folder.size() < MAX_PATH) {
            std::wcscpy(pathBuffer, folder.c_str());
            ::SetCurrentDirectoryW(folder.c_str());
        }
    }
    if (!fileName) return;
    const std::size_t used = std::wcslen(pathBuffer), add = std::wcslen(fileName);
    if (used + add < MAX_PATH) {
        std::wcscat(pathBuffer, fileName);
        Open(pathBuffer);
    } else {
        // A cut path would name another file: leave the log closed instead.
        m_openError = Win32Error{ERROR_FILENAME_EXCED_RANGE, "VLogger path"};
    }
    m_bOpened = true;
}

namespace {
std::atomic<bool> g_logWriting{true};
}  // namespace

void SetLogWriting(bool writing) { g_logWriting = writing; }
bool LogWriting() { return g_logWriting.load(); }

VLogger::~VLogger() {
    if (m_bOpened) Close();
}

void VLogger::Open(const wchar_t* path) {
    if (!LogWriting()) return;  // not even an empty file
    WIN32_FILE_ATTRIBUTE_DATA info = {};
    ULONGLONG size = 0;
    if (::GetFileAttributesExW(path, GetFileExInfoStandard, &info))
        size = (ULONGLONG(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
    // Deny-none sharing, as the log may be read while it is written; no delete sharing, so the close-time
    // clean-up knows the file is still held.
    m_file.Reset(::CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!m_file) {
        m_openError = CaptureLastError("CreateFileW");
        return;
    }
    if (size >= kLogTruncateSize && !::SetEndOfFile(m_file.Get())) m_openError = CaptureLastError("SetEndOfFile");
}

void VLogger::PutRaw(const wchar_t* text, std::size_t length) {
    if (!m_file || length == 0) return;
    const int bytes = ::WideCharToMultiByte(CP_ACP, 0, text, int(length), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return;
    std::string narrow(std::size_t(bytes), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text, int(length), &narrow[0], bytes, nullptr, nullptr);
    AppendTextMode(m_pending, narrow.data(), narrow.size());
    if (m_pending.size() >= kPendingFlushBytes) Flush();
}

void VLogger::PutData(const wchar_t* text, std::size_t length) {
    if (!m_file) return;  // a log that failed to open writes nothing, not even the stamp
    if (!m_bNoStamp) {
        SYSTEMTIME now;
        ::GetLocalTime(&now);
        const std::wstring stamp = FormatDateStamp(now.wYear, now.wMonth, now.wDay);
        PutRaw(stamp.data(), stamp.size());
    }
    PutRaw(text, length);
    m_bNoStamp = false;
}

void VLogger::Flush() {
    if (!m_file || m_pending.empty()) return;
    if (!LogWriting()) {
        m_pending.clear();
        return;
    }
    // Appended at the end every time: another process may write the file too.
    LARGE_INTEGER zero = {};
    ::SetFilePointerEx(m_file.Get(), zero, nullptr, FILE_END);
    DWORD written = 0;
    ::WriteFile(m_file.Get(), m_pending.data(), DWORD(m_pending.size()), &written, nullptr);
    m_pending.clear();
}

VLogger& VLogger::operator<<(LogCtl code) {
    switch (code) {
        case LogCtl_NoStamp:
            m_bNoStamp = true;
            break;
        case LogCtl_LastError: {
            const DWORD error = ::GetLastError();
            const std::wstring text = L"[" + std::to_wstring(error) + L"]";
            PutRaw(text.data(), text.size());
            break;
        }
        case LogCtl_EndLine:
            m_bNoStamp = false;
            PutRaw(L"\n", 1);
            Flush();
            break;
    }
    return *this;
}

VLogger& VLogger::operator<<(long value) { return *this << std::to_wstring(value); }
VLogger& VLogger::operator<<(unsigned long value) { return *this << std::to_wstring(value); }
VLogger& VLogger::operator<<(int value) { return *this << std::to_wstring(value); }
VLogger& VLogger::operator<<(unsigned int value) { return *this << std::to_wstring(value); }

VLogger& VLogger::operator<<(wchar_t value) {
    PutData(&value, 1);
    return *this;
}

VLogger& VLogger::operator<<(const std::wstring& value) {
    PutData(value.data(), value.size());
    return *this;
}

VLogger& VLogger::operator<<(const wchar_t* value) {
    // A null string writes nothing but its stamp; it must not break the log for every later line.
    PutData(value ? value : L"", value ? std::wcslen(value) : 0);
    return *this;
}

bool VLogger::Close() {
    if (m_bOpened) {
        Flush();
        m_file.Reset();
    }
    m_bOpened = false;
    return true;
}
