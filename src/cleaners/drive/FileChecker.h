#pragma once
// The per-file threat check: one file read once, its digests, the blacklists, the content detectors, the
// document repairs and the folder-icon test, in a fixed order; and what is found is removed.
#include <windows.h>

#include <memory>
#include <string>

#include "cleaners/drive/FileCheckRules.h"
#include "cleaners/drive/IconMatch.h"

class CrcBlacklist;
class DocumentRestore;
class MediaRepair;
class ScanContext;
class VLogger;
class VolumeLayoutSource;

class FileChecker {
public:
    FileChecker(ScanContext& scan, VLogger& log, CrcBlacklist& crcs, DocumentRestore& documents,
                MediaRepair& media, VolumeLayoutSource& volumes)
        : m_scan(scan), m_log(log), m_crcs(crcs), m_documents(documents), m_media(media), m_volumes(volumes),
          m_md5Listed(&IsBlacklistedMd5) {}

    // The CRC-32 blacklist, the icon table and the archive library (ArchiveReady when it is bound). The
    // blacklist's result.
    HRESULT Init();
    void Release();
    // S_OK for an examined file found clean, E_FAIL otherwise (threats included): informational only.
    HRESULT CheckFile(const std::wstring& path);
    // Whether the last CheckFile found a folder or document icon on a program not exempt from that test.
    bool IconMatched() const { return m_iconMatched; }
    bool ArchiveReady() const { return m_archiveReady; }
    // The MD5 list: the shipped one unless replaced (tests list digests of files they make).
    void SetMd5Rule(bool (*listed)(const wchar_t* md5Text)) { m_md5Listed = listed; }

private:
    bool IconStep(const std::wstring& path, const std::uint8_t* image, std::size_t size);

    bool m_archiveReady = false;
    ScanContext& m_scan;
    VLogger& m_log;
    CrcBlacklist& m_crcs;
    DocumentRestore& m_documents;
    MediaRepair& m_media;
    VolumeLayoutSource& m_volumes;
    IconTable m_icons;
    bool m_iconMatched = false;
    bool (*m_md5Listed)(const wchar_t*);
    // One read buffer for the whole scan, grown to the largest file: a fresh large allocation per file costs
    // more than reading the file (page faults and zero-filling, worst under Wine).
    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::size_t m_capacity = 0;
};
