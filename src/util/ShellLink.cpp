#include "util/ShellLink.h"

#include <objbase.h>
#include <shlobj.h>

#include "util/WinHandle.h"

namespace {
// COM for the length of one shell-link read.
class ComScope {
public:
    ComScope() : m_ok(SUCCEEDED(::CoInitialize(nullptr))) {}
    ~ComScope() {
        if (m_ok) ::CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool m_ok;
};
}  // namespace

bool ReadShortcut(const std::wstring& lnkPath, std::wstring& target, std::wstring& arguments) {
    ComScope com;
    IShellLinkW* rawLink = nullptr;
    if (FAILED(::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                  reinterpret_cast<void**>(&rawLink))))
        return false;
    ComPtr<IShellLinkW> link(rawLink);
    IPersistFile* rawFile = nullptr;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&rawFile)))) return false;
    ComPtr<IPersistFile> file(rawFile);
    if (FAILED(file->Load(lnkPath.c_str(), STGM_READ))) return false;
    wchar_t buffer[1024] = {};
    if (FAILED(link->GetPath(buffer, 1024, nullptr, SLGP_UNCPRIORITY))) buffer[0] = 0;
    buffer[1023] = 0;
    target = buffer;
    wchar_t args[1024] = {};
    if (FAILED(link->GetArguments(args, 1024))) args[0] = 0;
    args[1023] = 0;
    arguments = args;
    return true;
}

HRESULT WriteShortcut(const std::wstring& lnkPath, const std::wstring& target, const std::wstring& arguments) {
    ComScope com;
    IShellLinkW* rawLink = nullptr;
    HRESULT hr = ::CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                    reinterpret_cast<void**>(&rawLink));
    if (FAILED(hr)) return hr;
    ComPtr<IShellLinkW> link(rawLink);
    IPersistFile* rawFile = nullptr;
    if (FAILED(hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&rawFile)))) return hr;
    ComPtr<IPersistFile> file(rawFile);
    if (::GetFileAttributesW(lnkPath.c_str()) != INVALID_FILE_ATTRIBUTES) file->Load(lnkPath.c_str(), STGM_READWRITE);
    if (FAILED(hr = link->SetPath(target.c_str())) || FAILED(hr = link->SetArguments(arguments.c_str()))) return hr;
    return file->Save(lnkPath.c_str(), TRUE);
}
