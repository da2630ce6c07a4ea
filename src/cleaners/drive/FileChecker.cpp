#include "cleaners/drive/FileChecker.h"

#include <new>
#include <vector>

#include "cleaners/drive/ArchiveInfector.h"
#include "cleaners/drive/ArchiveSupport.h"
#include "cleaners/drive/ContentDetectors.h"
#include "cleaners/drive/DocumentRestore.h"
#include "cleaners/drive/FileCheckRules.h"
#include "cleaners/drive/FileContent.h"
#include "cleaners/drive/IconTableResource.h"
#include "cleaners/drive/MediaRepair.h"
#include "disposal/CrcBlacklist.h"
#include "disposal/Digest.h"
#include "disposal/FileDisposal.h"
#include "disposal/FindingRecord.h"
#include "disposal/PeImage.h"
#include "disposal/PeResources.h"
#include "disposal/ProcessTermination.h"
#include "engine/ScanContext.h"

namespace {
constexpr std::uint32_t kMd5Limit = 0x500000;
}

HRESULT FileChecker::Init() {
    const VResult crcs = m_crcs.LoadCrcList();
    LoadShippedIconTable(m_icons);
    m_archiveReady = LoadArchiveSupport();
    return crcs == kResultOk ? S_OK : E_FAIL;
}

void FileChecker::Release() {
    // The library stays loaded for the rest of the run: later scans share it.
    m_icons.Clear();
    m_buffer.reset();
    m_capacity = 0;
}

bool FileChecker::IconStep(const std::wstring& path, const std::uint8_t* image, std::size_t size) {
    // Our resource reader checks every bound, so a malformed image is no match without a fault guard.
    m_iconMatched = false;
    if (IconResembles(m_icons, image, size) && !IsIconExempt(path)) m_iconMatched = true;
    return m_iconMatched;
}

HRESULT FileChecker::CheckFile(const std::wstring& path) {
    HRESULT result = E_FAIL;
    m_iconMatched = false;
    ReadFileContent reader(m_volumes);
    FileContentHandle content;
    // Read where the run finds the file now (a planned run may have renamed its folder, or planned it away).
    const std::wstring readable = m_scan.Changes().ReadablePath(path);
    if (readable.empty() || reader.Open(readable.c_str(), content) == ContentMode::NotReadable) return result;
    if (!ContentSizeReadable(content.size)) return result;
    if (content.size > m_capacity) {
        const std::size_t grown = GrownReadCapacity(m_capacity, content.size);
        m_buffer.reset(new (std::nothrow) std::uint8_t[grown]);
        m_capacity = m_buffer ? grown : 0;
        if (!m_buffer) return result;
    }
    // Every byte the checks look at is read from the file: a failed or short read ends the check.
    if (!reader.Read(content, m_buffer.get())) return result;
    const std::uint8_t* data = m_buffer.get();
    const std::size_t size = content.size;
    content = FileContentHandle();  // closed: the file may be deleted below
    m_scan.AddFilesExamined();
    m_scan.AddScanBytes(size);

    std::uint32_t crc = 0;
    std::wstring md5Text;
    if (DigestAllowed(size, kMd5Limit, 0)) {
        Md5Digest md5{};
        crc = Crc32AndMd5(data, size, md5);
        md5Text = DigestHexWide(md5);
    } else {
        crc = Crc32(0, data, size);
    }
    const wchar_t* digest = md5Text.empty() ? nullptr : md5Text.c_str();

    DWORD threatType = 0;
    const bool executable = IsPeImage(data, size);
    if (m_crcs.ContainsCrc(crc)) {
        threatType = kThreatCrc;
    } else if (m_md5Listed(digest)) {
        threatType = kThreatMd5;
    } else if (executable) {
        if (IsDelphiInfector(data, size)) {
            m_scan.DelphiInfectorState = 2;
            threatType = kThreatDelphi;
        } else if (IsDllImage(data, size)) {
            return result;
        } else if (m_archiveReady && HasRarMarker(data, size)) {
            if (!IsScriptDropper(data, size)) return result;
            m_documents.Repair(path.c_str(), 2);
            threatType = kThreatArchiveInfector;
        } else if (HasDocResourcePair(data, size)) {
            m_documents.Repair(path.c_str(), 1);
            threatType = kThreatExeInfectorRepaired;
        } else {
            if (!IconStep(path, data, size)) return S_OK;
            // The file's MD5 is the one already taken from its bytes: no second read.
            if (IsProtectedHash(digest)) return result;
            // The icon branch deletes even in a read-only scan and keeps no own-product exemption.
            m_scan.AddDisguised();
            m_scan.AddThreatsFound();
            RemoveFoundFile(m_scan, m_log, path, md5Text, crc, kThreatDisguised);
            return result;
        }
    } else if (IsVbsInfector(data, size)) {
        m_scan.ScriptInfectorSeen = 1;
        threatType = kThreatScript;
    } else if (IsScriptDropper(data, size)) {
        threatType = kThreatArchiveInfector;
    } else {
        // False means a media file was repaired: only then the media notice.
        if (!m_media.RepairMediaFile(path.c_str())) m_scan.MediaRepairReported = 1;
        return S_OK;
    }

    m_scan.AddThreatsFound();
    if (executable) TerminateByPath(m_scan.Changes(), path.c_str());
    if (m_scan.ReadOnlyScan) return result;
    RemoveFoundFile(m_scan, m_log, path, md5Text, crc, threatType, !IsOwnProductPath(path));
    return result;
}
