#include "cleaners/drive/DelphiRepair.h"

#include <vector>

#include "engine/Effects.h"
#include "cleaners/drive/ContentDetectors.h"
#include "disposal/DigestFile.h"
#include "disposal/FileDisposal.h"
#include "disposal/FindingRecord.h"
#include "engine/ScanContext.h"
#include "util/AnsiText.h"
#include "util/WinHandle.h"

namespace {

const wchar_t* const kDelphiKeys[] = {
    L"SOFTWARE\\Borland\\Delphi\\4.0",
    L"SOFTWARE\\Borland\\Delphi\\5.0",
    L"SOFTWARE\\Borland\\Delphi\\6.0",
    L"SOFTWARE\\Borland\\Delphi\\7.0",
};
constexpr DWORD kRootDirBytes = 260;
constexpr std::size_t kMinInfectedSize = 3000;
const wchar_t kCaptionWarning[] = L"警告！";
const wchar_t kTextSourceDamaged[] = L"当前Delphi环境中SysConst.pas被损坏，请下载此文件替换修复!";
const wchar_t kTextSourceInfected[] = L"当前Delphi环境中SysConst.pas被感染，请下载此文件替换修复!";

}  // namespace

bool IsInfectedDelphiFile(Effects& fx, const std::wstring& path) {
    // A file larger than the detector examines is not read at all.
    std::vector<std::uint8_t> content;
    const std::wstring readable = fx.ReadablePath(path);
    return !readable.empty() && ReadWholeFile(readable.c_str(), kMinInfectedSize, kDelphiLimit, content) &&
           IsDelphiInfector(content.data(), content.size());
}

void DelphiRepair::Warn(const wchar_t* text) {
    PromptRequest r;
    r.caption = kCaptionWarning;
    r.text = text;
    r.style = MB_OK;
    m_prompter.Ask(r);
}

bool DelphiRepair::ReplaceUnit(const std::wstring& unit, const std::wstring& with) {
    Effects& fx = m_scan.Changes();
    m_disposer.DisposeFile(unit.c_str(), kThreatDelphi);
    if (!fx.Move(with, unit, true)) return false;
    // The infected unit's deletion was registered for the restart; the clean one written back must not go.
    fx.ForgetRestartDeletion(unit);
    m_scan.AddRepaired();
    return true;
}

int DelphiRepair::RepairDelphiLibrary(std::wstring root) {
    if (!root.empty() && root.back() == L'\\') root.pop_back();
    const std::wstring unit = root + L"\\Lib\\SysConst.dcu", backup = root + L"\\Lib\\SysConst.Bak";
    const std::wstring source = root + L"\\Source\\Rtl\\Sys\\SysConst.pas", compiler = root + L"\\Bin\\DCC32.EXE";
    const std::wstring rebuilt = root + L"\\Source\\Rtl\\Sys\\SysConst.dcu";

    Effects& fx = m_scan.Changes();
    const auto Exists = [&](const std::wstring& path) { return fx.Attributes(path) != INVALID_FILE_ATTRIBUTES; };
    if (!IsInfectedDelphiFile(fx, unit)) return 1;
    int result = 0;
    if (!Exists(backup)) {
        result = 1;
    } else if (!IsInfectedDelphiFile(fx, backup)) {
        if (ReplaceUnit(unit, backup)) return 2;
    }
    if (!Exists(source) || !Exists(compiler)) {
        Warn(kTextSourceDamaged);
        return result;
    }
    if (IsInfectedDelphiFile(fx, source)) {
        Warn(kTextSourceInfected);
        m_disposer.DisposeFile(source.c_str(), kThreatDelphi);
    }
    const std::wstring command = L"\"" + compiler + L"\" \"" + source + L"\"";
    fx.RunProgram(command, [&] {
        m_launcher.RunHidden(ToAnsi(command));
        return true;
    });
    // A unit left by an earlier compile replaces the infected one now; this run's compile serves the next scan.
    if (Exists(rebuilt) && ReplaceUnit(unit, rebuilt)) result = 2;
    return result;
}

void DelphiRepair::CheckDelphiInstallations() {
    for (const wchar_t* keyName : kDelphiKeys) {
        RegKey key;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, keyName, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) continue;
        wchar_t root[kRootDirBytes / sizeof(wchar_t) + 1] = {};  // one spare: a value may lack its terminator
        DWORD size = kRootDirBytes;
        if (::RegQueryValueExW(key.Get(), L"RootDir", nullptr, nullptr, reinterpret_cast<BYTE*>(root), &size) !=
            ERROR_SUCCESS)
            continue;
        m_scan.DelphiInfectorState = RepairDelphiLibrary(root);
    }
}
