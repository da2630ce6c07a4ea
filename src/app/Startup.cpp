#include "app/Startup.h"

#include <commctrl.h>
#include <objbase.h>
#include <psapi.h>

#include "app/Globals.h"
#include "util/ProgramPath.h"
#include "util/WinHandle.h"

const wchar_t kRiskStatementCaption[] = L"风险声明";
const wchar_t kRiskStatementText[] =
    L"        本专杀工具使用过程中，会对病毒进行针对性的清理操作，清理操作包括对硬盘分区表的修改操作，故存在较大的"
    L"风险性，青岚软件虽然竭力避免此类风险实际发生，但用户在使用本工具之前应明确知晓该工具可能带来的风险并同意接受"
    L"该风险可能带来的包括但不限于因数据错误、系统异常等原因带来的数据丢失等损失；本工具对于硬盘分区表修改的行为以"
    L"青岚软件适时的技术水平为判断标准，青岚软件不排除限于其技术水平的误操作行为，及由此而可能导致的主机系统故障、"
    L"文件及数据丢失等不良后果。\n        您已明确知悉上述内容，且认可青岚软件的操作，愿意承担因此而可能造成的损失，并"
    L"承诺不就因此而可能造成的任何结果向青岚软件主张权利。";

namespace {

const wchar_t kUpdateCaption[] = L"自更新通知";
const wchar_t kUpdateText[] = L"当前专杀升级为最新版本！";
constexpr DWORD kHandOverExitWaitMs = 5000;

HANDLE g_singleInstance = nullptr;

std::wstring ProcessImagePath(HANDLE process) {
    wchar_t path[MAX_PATH * 2] = {};
    // Vista and later answer for any process; XP through the module list.
    typedef BOOL(WINAPI * QueryImageFn)(HANDLE, DWORD, LPWSTR, PDWORD);
    static const auto query = reinterpret_cast<QueryImageFn>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "QueryFullProcessImageNameW")));
    DWORD size = MAX_PATH * 2;
    if (query && query(process, 0, path, &size)) return std::wstring(path, size);
    if (::GetModuleFileNameExW(process, nullptr, path, MAX_PATH * 2)) return path;
    return std::wstring();
}

// Ends the process only when it runs this program's own file or its "_bak" copy: an id on the command line
// must never end an arbitrary process.
bool EndPredecessor(long id, const std::wstring& ownPath) {
    if (id <= 0 || DWORD(id) == ::GetCurrentProcessId() || ownPath.empty()) return false;
    KernelHandle process(
        ::OpenProcess(PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION | PROCESS_VM_READ | SYNCHRONIZE, FALSE, DWORD(id)));
    if (!process) return false;
    const std::wstring image = ProcessImagePath(process.Get());
    const std::wstring backup = ownPath + L"_bak";
    if (image.empty() || (lstrcmpiW(image.c_str(), ownPath.c_str()) != 0 && lstrcmpiW(image.c_str(), backup.c_str()) != 0))
        return false;
    if (!::TerminateProcess(process.Get(), 0)) return false;
    ::WaitForSingleObject(process.Get(), kHandOverExitWaitMs);  // its file can be deleted once it is gone
    return true;
}

}  // namespace

int UpdateHandOver(const CommandLineOptions& options, Prompter& prompter) {
    const std::wstring ownPath = ProgramFilePath();
    for (long id : options.handOverIds) {
        if (!EndPredecessor(id, ownPath)) continue;
        PromptRequest r;
        r.caption = kUpdateCaption;
        r.text = kUpdateText;
        r.style = MB_OK;
        prompter.Ask(r);
        ::DeleteFileW((ownPath + L"_bak").c_str());
    }
    return options.handOverResult;
}

bool CheckSingleInstance(bool silent) {
    HANDLE section = ::CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4, kSingleInstanceSection);
    const DWORD error = ::GetLastError();
    if (!section) return true;  // no section: run anyway, nothing to publish
    if (error != ERROR_ALREADY_EXISTS) {
        g_singleInstance = section;
        return true;
    }
    KernelHandle existing(section);
    void* view = ::MapViewOfFile(existing.Get(), FILE_MAP_READ, 0, 0, 4);
    if (!view) return true;
    const HWND first = reinterpret_cast<HWND>(static_cast<UINT_PTR>(*static_cast<const volatile DWORD*>(view)));
    if (!silent) {
        KernelHandle restore(::OpenEventW(EVENT_ALL_ACCESS, FALSE, kRestoreEventName));
        if (restore) ::SetEvent(restore.Get());
        ::PostMessageW(first, WM_SYSCOMMAND, SC_RESTORE, 0);
        ::SetForegroundWindow(first);
    }
    ::UnmapViewOfFile(view);
    return false;
}

void CloseSingleInstance() {
    if (g_singleInstance) ::CloseHandle(g_singleInstance);
    g_singleInstance = nullptr;
}

bool PublishMainWindow(HWND window) {
    if (!g_singleInstance) return false;
    void* view = ::MapViewOfFile(g_singleInstance, FILE_MAP_WRITE, 0, 0, 4);
    if (!view) return false;
    // Window handles fit in 32 bits on every Windows, 64-bit included.
    *static_cast<volatile DWORD*>(view) = static_cast<DWORD>(reinterpret_cast<UINT_PTR>(window));
    ::UnmapViewOfFile(view);
    return true;
}

int DetectEdition() { return EditionFromPath(ProgramFilePath()); }

int RecordInstall(int edition) {
    RegKey key;
    if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, kProductKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Put(),
                          nullptr) != ERROR_SUCCESS)
        return 0;
    DWORD value = 0, size = sizeof value, type = 0;
    if (::RegQueryValueExW(key.Get(), L"veludisk.exe", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        type != REG_DWORD || value != 1) {
        value = 1;
        ::RegSetValueExW(key.Get(), L"veludisk.exe", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    }
    BYTE raw[64] = {};
    size = sizeof raw;
    const LONG status = ::RegQueryValueExW(key.Get(), L"RunOnceVmb", nullptr, nullptr, raw, &size);
    if ((status != ERROR_SUCCESS && status != ERROR_MORE_DATA) || size == 0) {
        if (edition)
            g_Notices.runInstall = 1;
        else
            g_Notices.usbVInstall = 1;
        value = 1;
        ::RegSetValueExW(key.Get(), L"RunOnceVmb", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
    }
    const std::wstring folder = ProgramFolder();
    ::RegSetValueExW(key.Get(), L"Path", 0, REG_SZ, reinterpret_cast<const BYTE*>(folder.c_str()),
                     DWORD((folder.size() + 1) * sizeof(wchar_t)));
    return 1;
}


int RunStartup(const std::vector<std::wstring>& args, int showCommand, StartupServices& services) {
    const HRESULT com = ::CoInitialize(nullptr);
    INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES};
    ::InitCommonControlsEx(&controls);

    const CommandLineOptions options = ParseCommandLine(args);
    if (options.silent) {
        g_bSilent = true;
        showCommand = SW_HIDE;
    } else if (UpdateHandOver(options, services.prompter) == 1) {
        g_nUpdateState = 2;
    }
    DirectoryList = options.directories;
    g_StartupScanRequest = options.request;

    int result = 0;
    PromptRequest risk;
    risk.caption = kRiskStatementCaption;
    risk.text = kRiskStatementText;
    risk.style = MB_YESNO | MB_ICONQUESTION;
    // Only an explicit Yes runs the program; a box that could not be shown declines like No.
    if (services.prompter.Ask(risk) == IDYES) {
        if (options.noOne || CheckSingleInstance(options.silent)) result = services.runMainWindow(showCommand);
    }
    CloseSingleInstance();
    if (SUCCEEDED(com)) ::CoUninitialize();
    return result;
}
