#include "protection/DriveProtection.h"

#include <shlobj.h>

#include <vector>

#include "cleaners/drive/AutorunCleaner.h"
#include "disposal/FileDisposal.h"
#include "disposal/FindingRecord.h"
#include "disposal/ImagePath.h"
#include "engine/Effects.h"
#include "engine/LiveEffects.h"
#include "engine/ScanContext.h"
#include "util/AsciiCase.h"
#include "util/ProgramPath.h"
#include "util/ShellLink.h"

namespace {

const wchar_t kStorageKey[] = L"SYSTEM\\CurrentControlSet\\Control\\StorageDevicePolicies";
const wchar_t kPolicyKey[] =
    L"SOFTWARE\\Policies\\Microsoft\\Windows\\RemovableStorageDevices\\{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}";
const wchar_t kProductKey[] = L"SOFTWARE\\Velmora\\veludisk";
constexpr int kWindowsVista = 2;
constexpr std::size_t kOldPathMax = 259;

const wchar_t kCaptionReadOnly[] = L"U盘只读模式";
const wchar_t kTextReadOnlyAsk[] = L"您的任何文件将无法复制到U盘内\n是否确认使用禁止U盘写入任何文件？";
const wchar_t kCaptionReplug[] = L"请重新插拔U盘!";
const wchar_t kTextReadOnlyOn[] = L"当前系统改为U盘 \"只读\" 状态，请重新插拔U盘生效!";
const wchar_t kTextReadOnlyOff[] = L"当前系统改为U盘 \"正常\"状态，请重新插拔U盘生效!";
const wchar_t kCaptionShortcut[] = L"青岚U盘专杀提醒您：";
const wchar_t kTextShortcutMade[] = L"已成功创建快捷方式！";
const wchar_t kTextShortcutGone[] = L"已成功清除快捷方式！";
const wchar_t kStartMenuName[] = L"\\青岚U盘专杀";
const wchar_t kProgramShortcut[] = L"\\青岚U盘专杀.lnk";
const wchar_t kSafeOpenShortcut[] = L"\\安全打开U盘.lnk";

// The new keys' values, as a new key gets them.
const wchar_t* const kStorageDefaults[] = {L"WriteProtect", nullptr};
const wchar_t* const kPolicyDefaults[] = {L"Deny_Write", L"WriteProtect", nullptr};

bool KeyThere(const wchar_t* key) {
    RegKey k;
    return ::RegOpenKeyExW(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, k.Put()) == ERROR_SUCCESS;
}

bool SamePath(const std::wstring& a, const std::wstring& b) {
    return ::CompareStringW(LOCALE_INVARIANT, NORM_IGNORECASE, a.c_str(), int(a.size()), b.c_str(), int(b.size())) ==
           CSTR_EQUAL;
}


// A DWORD value of HKEY_LOCAL_MACHINE: 0 and E_FAIL when it is not there or not a DWORD.
HRESULT ReadDword(const wchar_t* key, const wchar_t* name, DWORD& value) {
    value = 0;
    DWORD type = 0;
    std::vector<std::uint8_t> data;
    if (ReadRegistryValue(HKEY_LOCAL_MACHINE, key, name, type, data) != ERROR_SUCCESS || type != REG_DWORD ||
        data.size() != sizeof(DWORD))
        return E_FAIL;
    value = DWORD(data[0]) | DWORD(data[1]) << 8 | DWORD(data[2]) << 16 | DWORD(data[3]) << 24;
    return S_OK;
}

}  // namespace

SafeOpenPlaces RealSafeOpenPlaces() {
    SafeOpenPlaces p;
    p.programFiles = ShellFolder(CSIDL_PROGRAM_FILES);
    p.commonPrograms = ShellFolder(CSIDL_COMMON_PROGRAMS);
    p.commonDesktop = ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
    p.programFile = ProgramFilePath();
    return p;
}

// --- Write protection.

HRESULT WriteProtectSettings::WriteValue(const wchar_t* key, const wchar_t* name, DWORD value,
                                         const wchar_t* const* newKeyValues) {
    if (!KeyThere(key)) {
        if (!m_fx.CreateRegistryKey(HKEY_LOCAL_MACHINE, key)) return E_FAIL;
        const DWORD zero = 0;
        for (const wchar_t* const* v = newKeyValues; *v; ++v)
            m_fx.SetRegistryValue(HKEY_LOCAL_MACHINE, key, *v, REG_DWORD, &zero, sizeof zero);
    }
    return m_fx.SetRegistryValue(HKEY_LOCAL_MACHINE, key, name, REG_DWORD, &value, sizeof value) ? S_OK : E_FAIL;
}

HRESULT WriteProtectSettings::QueryStorage(DWORD& on) { return ReadDword(kStorageKey, L"WriteProtect", on); }

HRESULT WriteProtectSettings::QueryPolicy(DWORD& on) {
    const HRESULT hr = ReadDword(kPolicyKey, L"Deny_Write", on);
    if (on != 1) QueryStorage(on);
    return hr;
}

HRESULT WriteProtectSettings::SetStorage(DWORD on) { return WriteValue(kStorageKey, L"WriteProtect", on, kStorageDefaults); }

HRESULT WriteProtectSettings::SetPolicy(DWORD on) {
    const HRESULT hr = WriteValue(kPolicyKey, L"Deny_Write", on, kPolicyDefaults);
    SetStorage(on);
    return hr;
}

bool WriteProtectSettings::IsProtected() {
    DWORD on = 0;
    if (m_class == kWindowsVista)
        QueryPolicy(on);
    else
        QueryStorage(on);
    return on == 1;
}

HRESULT WriteProtectSettings::Switch(DWORD on) { return m_class == kWindowsVista ? SetPolicy(on) : SetStorage(on); }

// --- The product key.

HRESULT ProductSettings::ReadType(DWORD& type) {
    return ReadDword(kProductKey, L"Type", type);
}

HRESULT ProductSettings::ReadHtmlType(DWORD& value) {
    return ReadDword(kProductKey, L"HtmlType", value);
}

HRESULT ProductSettings::ReadOldPath(std::wstring& path) {
    path.clear();
    DWORD kind = 0;
    std::vector<std::uint8_t> data;
    if (ReadRegistryValue(HKEY_LOCAL_MACHINE, kProductKey, L"OldPath", kind, data) != ERROR_SUCCESS ||
        (kind != REG_SZ && kind != REG_EXPAND_SZ))
        return E_FAIL;
    std::wstring text(reinterpret_cast<const wchar_t*>(data.data()), data.size() / sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') text.pop_back();
    if (text.size() <= 2 || text.size() > kOldPathMax) return E_FAIL;
    path = text;
    return S_OK;
}

HRESULT ProductSettings::WriteDword(const wchar_t* name, DWORD value) {
    if (!m_fx.CreateRegistryKey(HKEY_LOCAL_MACHINE, kProductKey)) return E_FAIL;
    return m_fx.SetRegistryValue(HKEY_LOCAL_MACHINE, kProductKey, name, REG_DWORD, &value, sizeof value) ? S_OK : E_FAIL;
}

HRESULT ProductSettings::WriteHtmlType(DWORD value) { return WriteDword(L"HtmlType", value); }

HRESULT ProductSettings::WriteTypeAndPath(DWORD type, const std::wstring& path) {
    if (FAILED(WriteDword(L"Type", type))) return E_FAIL;
    if (!(path.empty() || path.find(L":\\") != std::wstring::npos) || path.size() > kOldPathMax) return E_FAIL;
    return m_fx.SetRegistryValue(HKEY_LOCAL_MACHINE, kProductKey, L"OldPath", REG_SZ, path.c_str(),
                                 DWORD((path.size() + 1) * sizeof(wchar_t)))
               ? S_OK
               : E_FAIL;
}

// --- Shortcuts and the installation.

HRESULT CreateShortcutFile(Effects& fx, const std::wstring& link, const std::wstring& target, const std::wstring& arguments) {
    HRESULT result = E_FAIL;
    const auto write = [&](const std::wstring& path) {
        result = WriteShortcut(path, target, arguments);
        return SUCCEEDED(result);
    };
    const DWORD there = fx.Attributes(link);
    if (there == INVALID_FILE_ATTRIBUTES) {
        fx.ProduceFile(link, write);
    } else if (!(there & FILE_ATTRIBUTE_DIRECTORY)) {
        if (there & FILE_ATTRIBUTE_READONLY) fx.SetAttributes(link, there & ~DWORD(FILE_ATTRIBUTE_READONLY));
        fx.EditFile(link, write);
    }
    return result;
}

std::wstring DriveProtection::StartMenuFolder() const { return m_places.commonPrograms + kStartMenuName; }
std::wstring DriveProtection::DesktopShortcut() const { return m_places.commonDesktop + kSafeOpenShortcut; }

int DriveProtection::Tell(HWND owner, const wchar_t* caption, const wchar_t* text, UINT style) {
    PromptRequest r;
    r.owner = owner;
    r.caption = caption;
    r.text = text;
    r.style = style;
    return m_prompter.Ask(r);
}

void DriveProtection::SetUsbWriteProtection(int on, HWND owner) {
    WriteProtectSettings settings(m_scan.Changes(), m_class);
    if (on == 1) {
        if (Tell(nullptr, kCaptionReadOnly, kTextReadOnlyAsk, MB_YESNO | MB_ICONWARNING) != IDYES) return;
        settings.Switch(1);
        CreateSafeOpen();
        Tell(owner, kCaptionReplug, kTextReadOnlyOn, MB_OK | MB_ICONWARNING);
    } else if (on == 0) {
        if (SUCCEEDED(settings.Switch(0))) Tell(owner, kCaptionReplug, kTextReadOnlyOff, MB_OK | MB_ICONWARNING);
    }
}

void DriveProtection::SetSafeOpen(int on, HWND owner) {
    if (on == 1) {
        CreateSafeOpen();
        Tell(owner, kCaptionShortcut, kTextShortcutMade, MB_OK | MB_ICONWARNING);
    } else if (on == 0) {
        RemoveSafeOpen();
        Tell(owner, kCaptionShortcut, kTextShortcutGone, MB_OK | MB_ICONWARNING);
    }
}

int DriveProtection::CreateSafeOpen() {
    if (m_places.programFiles.empty() || m_places.programFile.empty()) return 0;
    Effects& fx = m_scan.Changes();
    const std::wstring folder = ProgramCopyFolder(), copy = folder + L"\\veludisk.exe";
    CreateFolderPath(fx, folder, 0);
    // The program never copies itself over itself (run from the copy).
    if (!SamePath(m_places.programFile, copy)) CopyFileOver(fx, m_places.programFile, copy);
    ProductSettings(fx).WriteTypeAndPath(1, m_places.programFile);
    if (m_places.commonPrograms.empty()) return 0;
    const std::wstring menu = StartMenuFolder();
    CreateFolderPath(fx, menu, 0);
    CreateShortcutFile(fx, menu + kProgramShortcut, copy, L"");
    CreateShortcutFile(fx, menu + kSafeOpenShortcut, copy, L"/usb");
    if (!m_places.commonDesktop.empty()) CreateShortcutFile(fx, DesktopShortcut(), copy, L"/usb");
    return 0;
}

int DriveProtection::RemoveSafeOpen() {
    Effects& fx = m_scan.Changes();
    if (!m_places.commonPrograms.empty()) m_disposer.DisposeTree(StartMenuFolder().c_str(), kThreatSilent);
    if (!m_places.commonDesktop.empty()) m_disposer.DisposeFile(DesktopShortcut().c_str(), kThreatSilent);
    ProductSettings product(fx);
    std::wstring oldPath;
    const std::wstring copy = ProgramCopyFolder() + L"\\veludisk.exe";
    // "OldPath" is only the registry's word: the program goes back only to a program file's name, never into a
    // protected location, and never over a folder.
    if (SUCCEEDED(product.ReadOldPath(oldPath)) && !SamePath(oldPath, m_places.programFile) &&
        oldPath.size() > 4 && AsciiEqualsNoCase(oldPath.substr(oldPath.size() - 4), std::wstring(L".exe")) &&
        !IsProtectedLocation(oldPath)) {
        CopyFileOver(fx, m_places.programFile, oldPath);
        if (!m_places.programFiles.empty() && SamePath(m_places.programFile, copy))
            m_disposer.DisposeTree(ProgramCopyFolder().c_str(), kThreatSilent);
    }
    product.WriteTypeAndPath(0, L"");
    return 0;
}
