#include "cleaners/system/BootRecord.h"

#include <windows.h>

#include <cstdint>
#include <vector>

#include "cleaners/system/BootRecordCore.h"
#include "disposal/DigestFile.h"
#include "disposal/FileDisposal.h"
#include "disposal/FindingRecord.h"
#include "disposal/ProcessTermination.h"
#include "engine/LiveEffects.h"
#include "engine/ScanContext.h"
#include "util/ModuleResource.h"
#include "util/WinHandle.h"

namespace {

const wchar_t kCaptionNotice[] = L"提示";
const wchar_t kTextRunAsAdmin[] = L"请点右键->选择管理员身份运行";
const wchar_t kTextRepaired[] = L"发现鬼影病毒并且引导区修复完毕";
const wchar_t kCaptionNoComponent[] = L"缺少扫尾组件";
const wchar_t kTextOfferFound[] =
    L"发现鬼影病毒，必须安装青岚盾卫扫尾组件才能继续查杀，是否安装？\n 扫尾组件可以查杀未知病毒，防御未知漏洞。";
const wchar_t kCaptionNotFound[] = L"没有发现鬼影病毒";
const wchar_t kTextOfferClean[] = L"没有发现鬼影病毒，推荐使用青岚盾卫进行防御，是否安装？\n ";
const wchar_t kCaptionNoNetwork[] = L"网络连接失败";
const wchar_t kTextNoNetworkFound[] = L"发现鬼影病毒，但发现网络异常，不能查杀，请检测网络是否正常连接。";
const wchar_t kTextNoNetworkClean[] = L"没有发现鬼影病毒，但发现网络异常，不能查杀，请检测网络是否正常连接。 ";

constexpr int kWindowsSeven = 3;

// The disk's first 4096 bytes and the backup sector, read through one handle. `windowRead` false leaves the
// window zero; `backupRead` false when fewer than 512 bytes came back.
struct DiskStart {
    std::vector<std::uint8_t> window = std::vector<std::uint8_t>(kDiskWindowSize);
    std::uint8_t backup[kSectorSize] = {};
    bool windowRead = false;
    bool backupRead = false;
};

bool ReadDiskStart(const std::wstring& device, DiskStart& out) {
    FileHandle disk(::CreateFileW(device.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr));
    if (!disk) return false;
    out.windowRead = ReadAt(disk.Get(), 0, out.window.data(), DWORD(kDiskWindowSize));
    if (!out.windowRead) out.window.assign(kDiskWindowSize, 0);
    out.backupRead = ReadAt(disk.Get(), kBackupSectorOffset, out.backup, DWORD(kSectorSize));
    return true;
}

// "boot-record-PhysicalDrive0-20261211-161003.bin": what the kept bytes are, from which disk, taken when.
std::wstring KeptName(const std::wstring& device) {
    SYSTEMTIME t;
    ::GetLocalTime(&t);
    wchar_t stamp[32];
    wsprintfW(stamp, L"%04u%02u%02u-%02u%02u%02u", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond);
    const std::size_t slash = device.find_last_of(L"\\/");
    const std::wstring leaf = slash == std::wstring::npos ? device : device.substr(slash + 1);
    return L"boot-record-" + leaf + L"-" + stamp + L".bin";
}

}  // namespace

const wchar_t BootRecordCleaner::kMakerPage[] = L"http://www.velmora.com/";

std::wstring BootRecordCleaner::CompanionInstaller() const {
    return m_places.programFiles.empty() ? std::wstring() : m_places.programFiles + L"\\Velmora\\QRTB\\ovanwiz.exe";
}

bool BootRecordCleaner::CheckBootRecord(int& variant) {
    DiskStart disk;
    if (!ReadDiskStart(m_places.bootDisk, disk)) {
        if (m_places.windowsVersionClass == kWindowsSeven) {
            PromptRequest r;
            r.caption = kCaptionNotice;
            r.text = kTextRunAsAdmin;
            r.style = MB_OK;
            m_prompter.Ask(r);
        }
        return false;
    }
    const int found = AnalyseBootRecord(disk.window.data(), disk.windowRead, disk.backupRead ? disk.backup : nullptr);
    if (found == 0) return false;
    variant = found;
    return true;
}

bool BootRecordCleaner::RepairBootRecord(int variant) {
    DiskStart disk;
    if (!ReadDiskStart(m_places.bootDisk, disk) || !disk.windowRead) return false;
    const void* code = nullptr;
    DWORD codeSize = 0;
    const int resource = BootCodeResourceFor(m_places.windowsVersionClass);
    if ((variant == 5 || variant == 6) && resource != 0 &&
        !FindProgramResource(WORD(resource), L"BINARYTYPE", code, codeSize))
        code = nullptr, codeSize = 0;
    std::uint8_t sector[kSectorSize];
    bool written = false;
    if (PlanBootRecordRepair(variant, disk.window.data(), disk.backupRead ? disk.backup : nullptr,
                             static_cast<const std::uint8_t*>(code), codeSize, sector)) {
        SectorWrite w;
        w.device = m_places.bootDisk;
        w.offset = 0;
        w.data = sector;
        w.size = DWORD(kSectorSize);
        // The whole window the repair read is kept first: nothing is written when it cannot be.
        w.keepSize = DWORD(kDiskWindowSize);
        w.keptName = KeptName(m_places.bootDisk);
        w.lockVolume = variant == 5 || variant == 6;
        written = m_scan.Changes().WriteSector(w);
    } else if (variant >= 2 && variant <= 4) {
        return false;  // no usable backup sector: nothing written, nothing more done
    }
    if (variant == 6 && !m_places.windowsFolder.empty()) {
        // The variant's driver goes whatever the write did; its line says it waits for the restart.
        const std::wstring fips = m_places.windowsFolder + L"\\system32\\drivers\\fips.sys";
        Effects& fx = m_scan.Changes();
        const FileDigests digests = DigestsOfFile(fx.ReadablePath(fips).c_str());
        DeleteWithFallback(fx, fips.c_str(), 1);
        RecordFinding(m_log, digests.md5.empty() ? nullptr : digests.md5.c_str(), digests.crc, fips.c_str(),
                      kOutcomeRebootDelete, kThreatBootDropper);
    }
    return written;
}

void BootRecordCleaner::BootRecordPhase() {
    int variant = 0;
    if (CheckBootRecord(variant)) {
        m_scan.BootkitState = 3;
        m_scan.BootkitVariant = variant;
        if (variant == 2 && !m_places.windowsFolder.empty()) {
            Effects& fx = m_scan.Changes();
            const std::wstring droppers[] = {m_places.windowsFolder + L"\\alg.exe", m_places.windowsFolder + L"\\temp\\alg.exe"};
            ProcessTable processes;
            processes.Refresh();
            for (const std::wstring& dropper : droppers) processes.TerminateImage(fx, dropper.c_str());
            for (const std::wstring& dropper : droppers) DeleteWithFallback(fx, dropper.c_str(), 1);
        }
        m_scan.BootRecordRepaired = RepairBootRecord(variant) ? 1 : 0;
        PromptRequest r;
        r.caption = kCaptionNotice;
        r.text = kTextRepaired;
        r.style = MB_OK;
        m_prompter.Ask(r);
    }
    const bool found = m_scan.BootkitState == 3;
    const std::wstring installer = CompanionInstaller();
    const DWORD attributes = installer.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(installer.c_str());
    PromptRequest r;
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        r.caption = found ? kCaptionNoComponent : kCaptionNotFound;
        r.text = found ? kTextOfferFound : kTextOfferClean;
        r.style = MB_YESNO | MB_ICONQUESTION;
        if (m_prompter.Ask(r) == IDYES) {
            CompanionAnswer = 1;
            // The companion's own installer takes over from here.
            m_launcher.OpenWithShell(installer);
        } else {
            CompanionAnswer = 2;
        }
        return;
    }
    r.caption = found ? kCaptionNoNetwork : kCaptionNotFound;
    r.text = found ? kTextNoNetworkFound : kTextNoNetworkClean;
    r.style = found ? MB_OK : MB_YESNO;
    m_prompter.Ask(r);
    m_launcher.OpenWithShell(kMakerPage);
}
