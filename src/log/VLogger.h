#pragma once
// The activity log "Cleaner.log": one line per finding, each line led by a date stamp, written in the ANSI code
// page with CR LF line ends. One process-wide instance, ProcessLogger().
#include <windows.h>

#include <string>

#include "util/WinError.h"
#include "util/WinHandle.h"

enum LogCtl { LogCtl_NoStamp = 0, LogCtl_LastError = 1, LogCtl_EndLine = 2 };

// A log that has reached this size is emptied when it is opened.
constexpr ULONGLONG kLogTruncateSize = 0x10000;

// Full path of the log file, filled by the logger's constructor.
extern wchar_t g_szLogPath[MAX_PATH];

// A run that only plans its changes (velscan --report-only) writes no log, not even an empty file. Set before
// the process's logger opens.
void SetLogWriting(bool writing);
bool LogWriting();

class VLogger final {
public:
    // fileName brings its own leading backslash ("\\Cleaner.log"). With inProgramFolder the folder is the
    // companion service's, else the program's, and becomes the current directory. pathBuffer receives the
    // full path (g_szLogPath for the process's logger).
    VLogger(const wchar_t* fileName, bool inProgramFolder, wchar_t* pathBuffer = g_szLogPath);
    ~VLogger();
    VLogger(const VLogger&) = delete;
    VLogger& operator=(const VLogger&) = delete;

    virtual VLogger& operator<<(LogCtl code);
    virtual VLogger& operator<<(long value);
    virtual VLogger& operator<<(unsigned long value);
    virtual VLogger& operator<<(int value);
    virtual VLogger& operator<<(unsigned int value);
    virtual VLogger& operator<<(wchar_t value);
    virtual VLogger& operator<<(const std::wstring& value);
    virtual VLogger& operator<<(const wchar_t* value);

    bool Close();

    bool IsOpen() const { return m_file.Valid(); }
    const Win32Error& OpenError() const { return m_openError; }

private:
    void Open(const wchar_t* path);
    void PutData(const wchar_t* text, std::size_t length);
    void PutRaw(const wchar_t* text, std::size_t length);
    void Flush();

    FileHandle m_file;
    bool m_bOpened = false;
    bool m_bNoStamp = false;
    std::string m_pending;  // converted bytes of the line being written
    Win32Error m_openError;
};

// The process's logger, "Cleaner.log" in the companion service's folder or the program's, made at its first
// use (which also makes that folder the current directory).
VLogger& ProcessLogger();

// The folder that holds the log: the companion security service's when it is registered, else the
// program's. Empty when neither can be had.
std::wstring ResolveLogFolder();
