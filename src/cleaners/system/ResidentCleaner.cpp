#include "cleaners/system/ResidentCleaner.h"

#include <vector>

#include "cleaners/drive/AutorunCleaner.h"
#include "cleaners/drive/DelphiRepair.h"
#include "cleaners/system/BootRecord.h"
#include "cleaners/system/DerivedNames.h"
#include "disposal/FileDisposal.h"
#include "disposal/FindingRecord.h"
#include "disposal/ProcessTermination.h"
#include "disposal/Safeguards.h"
#include "engine/Effects.h"
#include "engine/ScanContext.h"
#include "util/DriveIdentity.h"
#include "util/ShellLink.h"
#include "util/Wow64.h"

namespace {

const wchar_t kServicesKey[] = L"SYSTEM\\CurrentControlSet\\Services\\";
const wchar_t kRunKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
// The Startup folder of a Chinese Windows XP profile, where the family puts its shortcuts.
const wchar_t kProfileStartup[] = L"\\「开始」菜单\\程序\\启动\\";

std::wstring Wide(const std::string& ascii) { return std::wstring(ascii.begin(), ascii.end()); }

bool IsDirectory(Effects& fx, const std::wstring& path) {
    const DWORD a = fx.Attributes(path);
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// The registry views of "Software", which 64-bit Windows keeps apart for 32-bit programs: this program's,
// and there the 64-bit one. ("System" is one for both.)
std::vector<REGSAM> SoftwareViews() {
    std::vector<REGSAM> views{0};
    if (RunningUnderWow64()) views.push_back(kRegistry64);
    return views;
}

// The system folder is looked at twice on 64-bit Windows: as this program sees it ("SysWOW64") and, with
// redirection off, the real one, where a 64-bit worm keeps its files. `pass` runs once per view; nothing it
// does may load a library (a 64-bit one would be found while redirection is off).
template <typename Pass>
void InEachSystemFolderView(Pass pass) {
    pass();
    if (!RunningUnderWow64()) return;
    Wow64RedirectionOff off;
    if (off.Active()) pass();
}

}  // namespace

std::string ResidentCleaner::DriveIdString() {
    std::uint16_t words[256] = {};
    return m_identity.IdentifyWords(words) ? DriveIdStringOf(words) : std::string();
}

HRESULT ResidentCleaner::CleanResidentThreats() {
    Effects& fx = m_scan.Changes();
    if (!m_places.programFiles.empty()) fx.DeleteFile(m_places.programFiles + L"\\Velmora\\VelUdisk\\velVirlog.ini");
    m_delphi.CheckDelphiInstallations();
    for (const wchar_t* service : {L"qerndrv", L"qernguard"})
        fx.DeleteRegistryKey(HKEY_LOCAL_MACHINE, kServicesKey + std::wstring(service));
    if (!m_places.allUsersStartup.empty()) CleanStartupShortcuts(m_places.allUsersStartup);
    if (!m_places.userStartup.empty()) CleanStartupShortcuts(m_places.userStartup);
    for (const wchar_t* process : {L"ali.exe", L"nat.exe", L"c:\\windows\\temp\\alg.exe", L"c:\\windows\\alg.exe",
                                   L"c:\\windows\\nat.exe"})
        TerminateByPath(fx, process);
    int variant = 0;
    if (m_bootRecord.CheckBootRecord(variant) && variant == 1) m_scan.BootkitState = 1;
    DerivedNameFamily();
    return S_OK;
}

void ResidentCleaner::CleanStartupShortcuts(const std::wstring& folder) {
    Effects& fx = m_scan.Changes();
    std::wstring shortcut;
    for (const wchar_t* pattern : {L"??????.lnk", L"?????.lnk"}) {
        const FolderListing listing = fx.List(folder + L"\\", pattern);
        for (const FolderEntry& e : listing.entries)
            if (!e.IsFolder()) {
                shortcut = folder + L"\\" + e.name;
                break;
            }
        if (!shortcut.empty()) break;
    }
    if (shortcut.empty()) return;
    std::wstring target, arguments;
    if (!ReadShortcut(fx.ReadablePath(shortcut), target, arguments)) return;
    if (target.find(L"\\system32\\") == std::wstring::npos) return;  // the case is the family's own
    // A shortcut is text anyone can write: a program the system protects or a trusted publisher signed is
    // never removed on its word, and neither is the shortcut that starts it. On 64-bit Windows the real system
    // folder's file is judged through its "Sysnative" name (the checks load libraries); where that name
    // reaches nothing, the real folder's file is not judged and so not touched.
    const auto spared = [&](const std::wstring& t) {
        return fx.Attributes(t) != INVALID_FILE_ATTRIBUTES && (m_guard.IsProtected(t.c_str()) || m_trust.Verify(t.c_str()) == 0);
    };
    if (spared(target)) return;
    const std::wstring alias = Wow64AliasOfNative(target);
    const bool nativeView = alias != target && fx.Attributes(alias) != INVALID_FILE_ATTRIBUTES;
    if (nativeView && spared(alias)) return;
    const auto dispose = [&] {
        TerminateByPath(fx, target.c_str());
        m_disposer.DisposeFile(target.c_str(), kThreatPersistence);
        m_immunizer.ImmunizePath(target);
    };
    dispose();
    if (nativeView) {
        Wow64RedirectionOff off;
        if (off.Active()) dispose();
    }
    m_scan.ThreatFollowUpState = 1;
    m_disposer.DisposeFile(shortcut.c_str(), kThreatPersistence);
}

void ResidentCleaner::DerivedNameFamily() {
    Effects& fx = m_scan.Changes();
    const DerivedNames n = DeriveNames(DriveIdString());
    const std::wstring a = Wide(n.a), b = Wide(n.b), d = Wide(n.d), e = Wide(n.e), f = Wide(n.f), g = Wide(n.g),
                       i = Wide(n.i);
    TerminateByPattern(fx, L"%s.exe", a.c_str());
    TerminateByPattern(fx, L"xp-%s.exe", e.c_str());
    TerminateByPattern(fx, L"%s.exe", f.c_str());
    if (!m_places.windowsFolder.empty()) {
        const std::wstring system = m_places.windowsFolder + L"\\system32\\";
        InEachSystemFolderView([&] {
            std::vector<std::wstring> files, folders;
            for (const std::wstring* name : {&b, &d, &g, &i})
                if (IsDirectory(fx, system + *name)) CollectEntries(fx, system + *name, files, folders, L"*.*");
            const std::wstring main = system + L"xp-" + e + L".exe";
            m_disposer.DisposeFile(main.c_str(), kThreatResidentTrojan);
            for (const std::wstring& file : files) {
                if (fx.Attributes(file) == INVALID_FILE_ATTRIBUTES) continue;
                m_scan.ThreatFollowUpState = 1;
                m_disposer.DisposeFile(file.c_str(), kThreatResidentTrojan);
            }
            m_immunizer.ImmunizePath(main);
            m_immunizer.ImmunizePath(system + b + L"\\" + a + L".exe");
            m_immunizer.ImmunizePath(system + g + L"\\" + f + L".exe");
        });
    }
    if (!m_places.userProfile.empty() && IsDirectory(fx, m_places.userProfile)) {
        const std::wstring startup = m_places.userProfile + kProfileStartup;
        for (const std::wstring& name : {a, f, std::wstring(L"\u3000\u3000\u3000")})
            m_disposer.DisposeFile((startup + name + L".lnk").c_str(), kThreatResidentTrojan);
    }
    for (REGSAM view : SoftwareViews())
        for (const std::wstring& value : {a, L"xp-" + e, f}) fx.DeleteRegistryValue(HKEY_LOCAL_MACHINE, kRunKey, value, view);
}
