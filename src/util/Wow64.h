#pragma once
#include <string>

// 64-bit Windows runs this 32-bit program under WoW64: its file calls on "system32" land in "SysWOW64" and
// its registry calls on some keys under "Wow6432Node". A worm built for 64-bit Windows lives in the real ones.

// True when this process is a 32-bit program on 64-bit Windows (false on 32-bit Windows and in a 64-bit build).
bool RunningUnderWow64();

// Turns file-system redirection off on the calling thread for the object's life, so that "system32" means the
// 64-bit system folder; does nothing where there is no redirection. Nothing may load a library while it is
// off (a 64-bit library would be found): resolve what a step needs before.
class Wow64RedirectionOff {
public:
    Wow64RedirectionOff();
    ~Wow64RedirectionOff();
    Wow64RedirectionOff(const Wow64RedirectionOff&) = delete;
    Wow64RedirectionOff& operator=(const Wow64RedirectionOff&) = delete;
    // Whether redirection is off now (false where there is none, or turning it off failed).
    bool Active() const { return m_active; }

private:
    void* m_previous = nullptr;
    bool m_active = false;
};

// A 64-bit process on 64-bit Windows, seen from this 32-bit program (false everywhere else).
bool IsNative64BitProcess(void* process);

// The image of a 64-bit process as this program reaches it: `image` as listed (its modules cannot always be
// listed from here, and then the process itself tells its image, Vista and later), a file of the real system
// folder by its "Sysnative" alias. Empty when it cannot be told.
std::wstring ImageOf64BitProcess(void* process, std::wstring image);

// Whether `path` (a literal "\\?\" one too) lies in the system folder, which redirection maps to another folder
// for this program.
bool InRedirectedSystemFolder(const std::wstring& path);
// The same place in the 32-bit system folder ("SysWOW64") by its own name, which needs no redirection; empty
// where there is none. Reports and restart deletions then name the file where it really is.
std::wstring InWow64SystemFolder(const std::wstring& path);

// The name 64-bit Windows itself gives the file this program means by `path`: a path in the system folder
// names "SysWOW64" while redirection is on for this thread, one in "Sysnative" names "system32". What
// findings show, and what a deletion at restart (carried out by 64-bit Windows, without redirection) needs.
// Unchanged everywhere else, and on 32-bit Windows.
std::wstring NativeSystemPath(const std::wstring& path);

// The name by which this 32-bit program reaches a file of the real (64-bit) system folder without turning
// redirection off: "Sysnative" for "system32" (Vista and later). Unchanged for any other path.
std::wstring Wow64AliasOfNative(const std::wstring& nativePath);
