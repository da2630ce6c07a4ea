#pragma once
// How much a console scan has ahead of it: the bytes of every file under the roots it walks, counted on a
// thread of its own while the scan runs (listing folders costs little next to reading every file).
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "util/WinHandle.h"

class ScanEstimate {
public:
    ScanEstimate() = default;
    ~ScanEstimate();
    ScanEstimate(const ScanEstimate&) = delete;
    ScanEstimate& operator=(const ScanEstimate&) = delete;

    // Starts counting under each root (a folder path ending in a backslash). No roots: nothing is known.
    void Start(std::vector<std::wstring> roots);
    // The total once the count has finished, 0 before (or when it could not be started).
    std::uint64_t TotalBytes() const { return m_done ? m_total.load() : 0; }

private:
    static DWORD WINAPI Entry(void* self);
    void Count(const std::wstring& folder, int depth);

    std::vector<std::wstring> m_roots;
    std::atomic<std::uint64_t> m_total{0};
    std::atomic<bool> m_done{false};
    std::atomic<bool> m_cancel{false};
    KernelHandle m_thread;
};
