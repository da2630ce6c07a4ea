#include "engine/ScanContext.h"

ScanContext::ScanContext() { ::InitializeCriticalSection(&m_lock); }

ScanContext::~ScanContext() { ::DeleteCriticalSection(&m_lock); }

void ScanContext::Increment(std::uint32_t ScanStats::*counter, std::uint32_t by) {
    ::EnterCriticalSection(&m_lock);
    m_stats.*counter += by;
    ::LeaveCriticalSection(&m_lock);
}

void ScanContext::AddFilesExamined() { Increment(&ScanStats::FilesExamined); }
void ScanContext::AddThreatsFound() { Increment(&ScanStats::ThreatsFound); }
void ScanContext::AddImmunized(std::uint32_t reported) { Increment(&ScanStats::Immunized, reported + 1); }
void ScanContext::AddRepaired() { Increment(&ScanStats::Repaired); }
void ScanContext::AddDisguised() { Increment(&ScanStats::Disguised); }
void ScanContext::AddDeleted() { Increment(&ScanStats::Deleted); }
void ScanContext::AddRebootPending() { Increment(&ScanStats::RebootPending); }

void ScanContext::SnapshotCounters(ScanStats& out) const {
    // The lock makes the copy consistent; the worker holds it only for single increments.
    ::EnterCriticalSection(&m_lock);
    out = m_stats;
    ::LeaveCriticalSection(&m_lock);
}

void ScanContext::ResetCounters() {
    ::EnterCriticalSection(&m_lock);
    m_stats = ScanStats();
    ::LeaveCriticalSection(&m_lock);
}

HRESULT ScanContext::RequestStop() {
    ::EnterCriticalSection(&m_lock);
    m_stop = true;
    ::LeaveCriticalSection(&m_lock);
    return S_OK;
}

void ScanContext::ClearStop() {
    ::EnterCriticalSection(&m_lock);
    m_stop = false;
    ::LeaveCriticalSection(&m_lock);
}

void ScanContext::SetScanFolder(const std::wstring& folder) {
    if (!folder.empty()) ++m_scanFolders;
    std::lock_guard<std::mutex> hold(m_folderLock);
    m_scanFolder = folder;
}

std::wstring ScanContext::ScanFolder() const {
    std::lock_guard<std::mutex> hold(m_folderLock);
    return m_scanFolder;
}

void ScanContext::ResetScanProgress() {
    {
        std::lock_guard<std::mutex> hold(m_folderLock);
        m_scanFolder.clear();
    }
    m_scanBytes = 0;
    m_scanFolders = 0;
}
