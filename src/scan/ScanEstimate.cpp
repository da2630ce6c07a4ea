#include "scan/ScanEstimate.h"

namespace {
// Deeper than the walk goes in practice; a loop of junctions must not keep the count running.
constexpr int kMaxDepth = 64;
}  // namespace

ScanEstimate::~ScanEstimate() {
    m_cancel = true;
    if (m_thread) ::WaitForSingleObject(m_thread.Get(), INFINITE);
}

void ScanEstimate::Start(std::vector<std::wstring> roots) {
    if (roots.empty() || m_thread) return;
    m_roots = std::move(roots);
    m_thread.Reset(::CreateThread(nullptr, 0, &ScanEstimate::Entry, this, 0, nullptr));
}

DWORD WINAPI ScanEstimate::Entry(void* self) {
    auto* estimate = static_cast<ScanEstimate*>(self);
    for (const auto& root : estimate->m_roots) estimate->Count(root, 0);
    if (!estimate->m_cancel) estimate->m_done = true;
    return 0;
}

void ScanEstimate::Count(const std::wstring& folder, int depth) {
    if (depth > kMaxDepth) return;
    WIN32_FIND_DATAW found;
    FindHandle find(::FindFirstFileW((folder + L"*.*").c_str(), &found));
    if (!find) return;
    do {
        if (m_cancel) return;
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) Count(folder + name + L"\\", depth + 1);
        } else {
            m_total += (std::uint64_t(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        }
    } while (::FindNextFileW(find.Get(), &found));
}
