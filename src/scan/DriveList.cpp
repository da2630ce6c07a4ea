#include "scan/DriveList.h"

#include "util/AsciiCase.h"

namespace {

bool SameRoot(const std::wstring& a, const std::wstring& b) { return AsciiEqualsNoCase(a, b); }

// Floppy letters and two letters that removable card readers of some machines take for their own use.
bool IsExcludedRemovable(const std::wstring& root) {
    for (const wchar_t* r : {L"A:\\", L"B:\\", L"S:\\", L"Q:\\"})
        if (SameRoot(root, r)) return true;
    return false;
}

}  // namespace

std::vector<std::wstring> RootsFromUnitMask(std::uint32_t unitMask) {
    std::vector<std::wstring> roots;
    for (int bit = 0; bit < 26 && unitMask; ++bit, unitMask >>= 1) {
        if (!(unitMask & 1) || bit < 2) continue;
        roots.push_back(std::wstring{wchar_t(L'A' + bit), L':', L'\\'});
    }
    return roots;
}

VResult DriveList::EnumerateDrives() {
    const std::vector<std::wstring> roots = m_system.LogicalDriveRoots();
    std::vector<DriveEntry> drives;
    std::vector<std::wstring> arrived = ArrivedRoots();
    for (const auto& root : roots) {
        std::int32_t type = m_system.DriveType(root);
        if (type == kDriveRemovable) {
            if (IsExcludedRemovable(root)) continue;
        } else if (type != kDriveFixed && type != kDriveRamDisk) {
            continue;
        }
        for (const auto& a : arrived) {
            if (SameRoot(root, a)) {
                type = kDriveRemovable;
                break;
            }
        }
        drives.push_back(DriveEntry{root, type});
    }
    std::lock_guard<std::mutex> hold(m_lock);
    m_drives = std::move(drives);
    return kResultOk;
}

VResult DriveList::CollectDrives(std::int32_t driveClass, std::vector<DriveEntry>& out) {
    EnumerateDrives();
    const std::vector<DriveEntry> drives = Drives();
    if (drives.empty()) return kResultInvalidDrive;
    for (const auto& d : drives)
        if (d.driveClass == driveClass) out.push_back(d);
    return out.empty() ? kResultInvalidDrive : kResultOk;
}

VResult DriveList::CollectAllDrives(std::vector<DriveEntry>& out) {
    EnumerateDrives();
    for (const auto& d : Drives()) out.push_back(d);
    return kResultOk;
}

VResult DriveList::AddArrivedRoot(const wchar_t* root) {
    if (!root) return kResultFail;
    const std::int32_t type = m_system.DriveType(root);
    if (type == kDriveFixed || type == kDriveRemovable) {
        std::lock_guard<std::mutex> hold(m_lock);
        m_arrivedRoots.push_back(root);
    }
    return kResultOk;
}

VResult DriveList::PruneArrivedRoots() {
    const std::vector<std::wstring> arrived = ArrivedRoots();
    std::vector<std::wstring> kept;
    for (const auto& r : arrived) {
        const std::int32_t type = m_system.DriveType(r);
        if (type == kDriveFixed || type == kDriveRemovable) kept.push_back(r);
    }
    std::lock_guard<std::mutex> hold(m_lock);
    m_arrivedRoots = std::move(kept);
    return kResultOk;
}

void DriveList::OnVolumeArrival(std::uint32_t unitMask) {
    for (const auto& root : RootsFromUnitMask(unitMask)) AddArrivedRoot(root.c_str());
}

std::vector<DriveEntry> DriveList::Drives() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_drives;
}

std::vector<std::wstring> DriveList::ArrivedRoots() const {
    std::lock_guard<std::mutex> hold(m_lock);
    return m_arrivedRoots;
}
