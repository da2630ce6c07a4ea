#include "engine/Undo.h"

#include <memory>

#include <windows.h>

#include <algorithm>
#include <map>
#include <set>

#include "engine/BootCleanDriver.h"
#include "disposal/Digest.h"
#include "disposal/DigestFile.h"
#include "disposal/ImagePath.h"
#include "engine/Effects.h"
#include "engine/LiveEffects.h"
#include "util/Wow64.h"
#include "engine/RestartLists.h"
#include "util/WinHandle.h"

namespace {

const wchar_t kUndoneMark[] = L"undone.txt";
// The journal lines (by number) an undo that did not put everything back has already reversed; the next undo
// of the session takes only the others.
const wchar_t kUndoProgress[] = L"undo-progress.txt";

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Copies `from` over `to`, whose hidden or read-only bits would refuse the copy; its attributes stay.
bool CopyOver(const std::wstring& from, const std::wstring& to) {
    const DWORD attributes = ::GetFileAttributesW(to.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES) ::SetFileAttributesW(to.c_str(), FILE_ATTRIBUTE_NORMAL);
    const bool copied = ::CopyFileW(from.c_str(), to.c_str(), FALSE) != 0;
    if (attributes != INVALID_FILE_ATTRIBUTES) ::SetFileAttributesW(to.c_str(), attributes);
    return copied;
}

std::string ReadAll(const std::wstring& path) {
    FileHandle file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    LARGE_INTEGER size = {};
    if (!file || !::GetFileSizeEx(file.Get(), &size) || size.QuadPart > (64 << 20)) return std::string();
    std::string text(std::size_t(size.QuadPart), '\0');
    DWORD read = 0;
    if (!text.empty() && (!::ReadFile(file.Get(), &text[0], DWORD(text.size()), &read, nullptr) || read != text.size()))
        return std::string();
    return text;
}

// "name（恢复）.ext", then "name（恢复 2）.ext" and so on: a free name beside `path`.
std::wstring FreeNameBeside(const std::wstring& path) {
    const std::size_t slash = path.find_last_of(L"\\/");
    const std::size_t dot = path.find_last_of(L'.');
    const bool hasExtension = dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash + 1);
    const std::wstring base = hasExtension ? path.substr(0, dot) : path;
    const std::wstring extension = hasExtension ? path.substr(dot) : std::wstring();
    for (int n = 1; n < 1000; ++n) {
        const std::wstring candidate =
            base + L"\uff08\u6062\u590d" + (n == 1 ? L"" : L" " + std::to_wstring(n)) + L"\uff09" + extension;  // （恢复 n）
        if (!Exists(candidate)) return candidate;
    }
    return std::wstring();
}


class Undoer {
public:
    Undoer(bool planOnly, bool sectorsConfirmed) : m_plan(planOnly), m_sectors(sectorsConfirmed) {}

    UndoStep Reverse(const JournalEntry& e) {
        UndoStep step;
        step.entry = e;
        step.path = e.fields.empty() ? std::wstring() : e.fields[0];
        // Files are named where they really are. Under WoW64 a step on the real system folder runs with
        // redirection off, so that "system32" is that folder (literal "\\?\" paths included, which the
        // "Sysnative" alias does not reach); nothing a step does loads a library.
        const std::vector<std::wstring>& f = e.fields;
        const bool registry = e.kind == journal::kSetValue || e.kind == journal::kDeleteValue || e.kind == journal::kDeleteKey ||
                              e.kind == journal::kCreateKey ||
                              e.kind == journal::kCreateService || e.kind == journal::kChangeService ||
                              e.kind == journal::kWriteSector;
        const bool system = !registry && RunningUnderWow64() &&
                            ((!f.empty() && InRedirectedSystemFolder(f[0])) ||
                             (e.kind == journal::kMove && f.size() > 1 && InRedirectedSystemFolder(f[1])));
        std::unique_ptr<Wow64RedirectionOff> off;
        if (system) off.reset(new Wow64RedirectionOff());
        const std::string& k = e.kind;
        if (k == journal::kDeleteFile && f.size() >= 3) {
            std::uint32_t attributes = 0;
            ParseHexField(f[2], attributes);
            PutBack(step, f[0], f[1], attributes);
        } else if ((k == journal::kDeleteAtRestart || k == journal::kDeleteAtBoot) && f.size() >= 2) {
            // Taken off its list; if the restart has already carried it out, the file comes back. One that
            // stays listed would be deleted again at the next boot: that is a failure, whatever is there now.
            bool stillListed = false;
            if (!m_plan) {
                if (k == journal::kDeleteAtRestart) {
                    TakeOffPendingRenames(f[0]);
                    stillListed = PendingDeletionListed(f[0]);
                } else {
                    stillListed = BootCleanRegistrar().UnregisterBootDelete(f[0].c_str()) != S_OK;
                }
            }
            if (stillListed)
                Fail(step, L"\u65e0\u6cd5\u4ece\u91cd\u542f\u5220\u9664\u5217\u8868\u4e2d\u53bb\u6389");  // 无法从重启删除列表中去掉
            else if (Exists(f[0]))
                step.result = UndoResult::Restored;
            else if (f[1].empty())
                Fail(step, L"\u6ca1\u6709\u4fdd\u5b58\u526f\u672c");  // 没有保存副本
            else
                PutBack(step, f[0], f[1], FILE_ATTRIBUTE_NORMAL);
        } else if (k == journal::kForgetRestart || k == journal::kBackUp) {
            step.result = UndoResult::NothingToDo;
        } else if (k == journal::kSetAttributes && f.size() >= 3) {
            std::uint32_t old = 0;
            if (!ParseHexField(f[1], old) || !Exists(f[0]))
                Fail(step, L"\u5df2\u4e0d\u5b58\u5728");  // 已不存在
            else if (m_plan || ::SetFileAttributesW(f[0].c_str(), old & ~DWORD(FILE_ATTRIBUTE_DIRECTORY)))
                step.result = UndoResult::Restored;
            else
                Fail(step, L"\u65e0\u6cd5\u8bbe\u7f6e\u5c5e\u6027");  // 无法设置属性
        } else if (k == journal::kMove && f.size() >= 2) {
            step.detail = f[1];
            if (!Exists(f[1]))
                Fail(step, L"\u65b0\u540d\u79f0\u5df2\u4e0d\u5b58\u5728");  // 新名称已不存在
            else if (Exists(f[0]))
                Fail(step, L"\u539f\u540d\u79f0\u5df2\u88ab\u5360\u7528");  // 原名称已被占用
            else if (m_plan || ::MoveFileW(f[1].c_str(), f[0].c_str()))
                step.result = UndoResult::Restored;
            else
                Fail(step, L"\u65e0\u6cd5\u6539\u56de\u539f\u540d");  // 无法改回原名
        } else if (k == journal::kCreateFolder && !f.empty()) {
            if (!Exists(f[0]))
                step.result = UndoResult::NothingToDo;
            else if (m_plan || ::RemoveDirectoryW(f[0].c_str()))
                step.result = UndoResult::Restored;
            else
                Fail(step, L"\u6587\u4ef6\u5939\u4e0d\u662f\u7a7a\u7684");  // 文件夹不是空的
        } else if (k == journal::kRemoveFolder && f.size() >= 2) {
            std::uint32_t attributes = 0;
            ParseHexField(f[1], attributes);
            if (Exists(f[0])) {
                step.result = UndoResult::Restored;
            } else if (m_plan || ::CreateDirectoryW(f[0].c_str(), nullptr)) {
                if (!m_plan) ::SetFileAttributesW(f[0].c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_DIRECTORY));
                step.result = UndoResult::Restored;
            } else {
                Fail(step, L"\u65e0\u6cd5\u521b\u5efa\u6587\u4ef6\u5939");  // 无法创建文件夹
            }
        } else if (k == journal::kCreateFile && f.size() >= 2) {
            // What the scan wrote goes, unless someone changed it since.
            if (!Exists(f[0]))
                step.result = UndoResult::NothingToDo;
            else if (DigestsOfFile(f[0].c_str()).md5 != f[1])
                Fail(step, L"\u5df2\u88ab\u4fee\u6539\uff0c\u4fdd\u7559");  // 已被修改，保留
            else if (m_plan || (::SetFileAttributesW(f[0].c_str(), FILE_ATTRIBUTE_NORMAL), ::DeleteFileW(f[0].c_str())))
                step.result = UndoResult::Restored;
            else
                Fail(step, L"\u65e0\u6cd5\u5220\u9664");  // 无法删除
        } else if (k == journal::kEditFile && f.size() >= 3) {
            if (!Exists(f[0]) || DigestsOfFile(f[0].c_str()).md5 != f[2])
                Fail(step, L"\u5df2\u88ab\u4fee\u6539\uff0c\u4fdd\u7559");  // 已被修改，保留
            else if (m_plan || CopyOver(f[1], f[0]))
                step.result = UndoResult::Restored;
            else
                Fail(step, L"\u65e0\u6cd5\u5199\u56de");  // 无法写回
        } else if ((k == journal::kSetValue || k == journal::kDeleteValue) && f.size() >= 7) {
            ReverseValue(step, f);
        } else if (k == journal::kDeleteKey && f.size() >= 3) {
            step.path = f[0] + L"\\" + f[1];
            const JournalText saved = DecodeJournal(ReadAll(f[2]));
            REGSAM view = 0;
            HKEY root = RootNamed(f[0], &view);
            if (!root || !saved.headerOk || saved.cutOff || saved.entries.empty())
                Fail(step, L"\u6ca1\u6709\u5b8c\u6574\u7684\u526f\u672c");  // 没有完整的副本
            else if (m_plan || RestoreRegistryTree(root, f[1], saved.entries, view))
                step.result = UndoResult::Restored;
            else
                Fail(step, L"\u65e0\u6cd5\u5199\u5165\u6ce8\u518c\u8868");  // 无法写入注册表
        } else if (k == journal::kCreateKey && f.size() >= 2) {
            ReverseCreatedKey(step, f);
        } else if (k == journal::kWriteSector && f.size() >= 4) {
            ReverseSector(step, f);
        } else if (k == journal::kCreateService && !f.empty()) {
            ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
            ServiceHandle service(manager ? ::OpenServiceW(manager.Get(), f[0].c_str(), SERVICE_ALL_ACCESS) : nullptr);
            if (!service)
                step.result = UndoResult::NothingToDo;
            else if (m_plan || ::DeleteService(service.Get()))
                step.result = UndoResult::Restored;
            else
                Fail(step, L"\u65e0\u6cd5\u5220\u9664\u670d\u52a1");  // 无法删除服务
        } else if (k == journal::kChangeService && f.size() >= 5) {
            std::uint32_t start = 0;
            ServiceHandle manager(::OpenSCManagerW(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
            ServiceHandle service(manager ? ::OpenServiceW(manager.Get(), f[0].c_str(), SERVICE_ALL_ACCESS) : nullptr);
            if (!ParseHexField(f[1], start) || !service)
                Fail(step, L"\u670d\u52a1\u5df2\u4e0d\u5b58\u5728");  // 服务已不存在
            else if (m_plan || ::ChangeServiceConfigW(service.Get(), SERVICE_NO_CHANGE, start, SERVICE_NO_CHANGE,
                                                      f[2].c_str(), f[3].c_str(), nullptr, nullptr, nullptr, nullptr,
                                                      nullptr))
                step.result = UndoResult::Restored;
            else
                Fail(step, L"\u65e0\u6cd5\u6539\u56de\u670d\u52a1\u8bbe\u7f6e");  // 无法改回服务设置
        } else if (k == journal::kEndProcess || k == journal::kRunProgram) {
            step.path = f.size() >= 2 ? f[1] : step.path;
            step.result = UndoResult::NotReversible;
        } else {
            Fail(step, L"\u672a\u77e5\u7684\u66f4\u6539");  // 未知的更改
        }
        return step;
    }

private:
    static void Fail(UndoStep& step, const std::wstring& why) {
        step.result = UndoResult::Failed;
        step.detail = why;
    }

    // A file comes back from its kept copy: at its place, or beside it when that is taken now.
    void PutBack(UndoStep& step, const std::wstring& path, const std::wstring& kept, DWORD attributes) {
        if (kept.empty() || !Exists(kept)) {
            Fail(step, L"\u6ca1\u6709\u4fdd\u5b58\u526f\u672c");  // 没有保存副本
            return;
        }
        std::wstring target = path;
        if (Exists(path)) {
            target = FreeNameBeside(path);
            step.detail = target;
            if (target.empty()) {
                Fail(step, L"\u6ca1\u6709\u53ef\u7528\u7684\u540d\u79f0");  // 没有可用的名称
                return;
            }
        }
        if (!m_plan) {
            if (!::CopyFileW(kept.c_str(), target.c_str(), TRUE)) {
                Fail(step, L"\u65e0\u6cd5\u590d\u5236");  // 无法复制
                return;
            }
            ::SetFileAttributesW(target.c_str(), attributes & ~DWORD(FILE_ATTRIBUTE_DIRECTORY));
        }
        step.result = target == path ? UndoResult::Restored : UndoResult::RestoredBeside;
    }

    void ReverseValue(UndoStep& step, const std::vector<std::wstring>& f) {
        step.path = f[0] + L"\\" + f[1] + L"\\" + f[2];
        REGSAM view = 0;
        HKEY root = RootNamed(f[0], &view);
        // A deleted value stands as one set to nothing ("-").
        const bool deleted = f[5] == L"-";
        std::uint32_t newType = 0, oldType = 0;
        std::vector<std::uint8_t> newData, oldData, now;
        DWORD nowType = 0;
        if (!root || (!deleted && !ParseHexField(f[5], newType)) || !ParseBytesField(f[6], newData) ||
            !ParseBytesField(f[4], oldData) || (f[3] != L"-" && !ParseHexField(f[3], oldType))) {
            Fail(step, L"\u8bb0\u5f55\u635f\u574f");  // 记录损坏
            return;
        }
        // Changed again since the scan: what is there now is someone else's and stays.
        const LONG read = ReadRegistryValue(root, f[1], f[2], nowType, now, view);
        if (deleted ? read != ERROR_FILE_NOT_FOUND
                    : (read != ERROR_SUCCESS || nowType != newType || now != newData)) {
            Fail(step, L"\u5df2\u88ab\u4fee\u6539\uff0c\u4fdd\u7559");  // 已被修改，保留
            return;
        }
        if (!m_plan) {
            RegKey key;
            LONG r = ::RegOpenKeyExW(root, f[1].c_str(), 0, KEY_SET_VALUE | view, key.Put());
            if (r == ERROR_SUCCESS)
                r = f[3] == L"-" ? ::RegDeleteValueW(key.Get(), f[2].c_str())
                                 : ::RegSetValueExW(key.Get(), f[2].c_str(), 0, oldType, oldData.data(), DWORD(oldData.size()));
            if (r != ERROR_SUCCESS) {
                Fail(step, L"\u65e0\u6cd5\u5199\u5165\u6ce8\u518c\u8868");  // 无法写入注册表
                return;
            }
        }
        step.result = UndoResult::Restored;
    }

    // A key the session made goes again when it is empty (its values were taken back first); one that holds
    // something now is someone else's too and stays.
    void ReverseCreatedKey(UndoStep& step, const std::vector<std::wstring>& f) {
        step.path = f[0] + L"\\" + f[1];
        REGSAM view = 0;
        HKEY root = RootNamed(f[0], &view);
        RegKey k;
        if (!root || ::RegOpenKeyExW(root, f[1].c_str(), 0, KEY_READ | view, k.Put()) != ERROR_SUCCESS) {
            step.result = UndoResult::NothingToDo;
            return;
        }
        DWORD subkeys = 0, values = 0;
        if (::RegQueryInfoKeyW(k.Get(), nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                               nullptr, nullptr) != ERROR_SUCCESS || subkeys || values) {
            Fail(step, L"\u952e\u4e0d\u662f\u7a7a\u7684\uff0c\u4fdd\u7559");  // 键不是空的，保留
            return;
        }
        k.Reset();
        if (!m_plan && !DeleteEmptyKey(root, f[1], view)) {
            Fail(step, L"\u65e0\u6cd5\u5199\u5165\u6ce8\u518c\u8868");  // 无法写入注册表
            return;
        }
        step.result = UndoResult::Restored;
    }

    void ReverseSector(UndoStep& step, const std::vector<std::wstring>& f) {
        step.path = f[0];
        if (!m_sectors) {
            Fail(step, L"\u672a\u786e\u8ba4\uff0c\u672a\u5199\u56de\u78c1\u76d8\u6247\u533a");  // 未确认，未写回磁盘扇区
            return;
        }
        const std::string kept = ReadAll(f[2]);
        const std::size_t colon = f[1].find(L':');
        std::uint32_t high = 0, low = 0;
        if (kept.empty() || colon == std::wstring::npos || !ParseHexField(f[1].substr(0, colon), high) ||
            !ParseHexField(f[1].substr(colon + 1), low)) {
            Fail(step, L"\u6ca1\u6709\u4fdd\u5b58\u526f\u672c");  // 没有保存副本
            return;
        }
        const std::uint64_t offset = std::uint64_t(high) << 32 | low;
        // The kept copy may hold more than was written (the sectors around it): only the written bytes go back.
        std::uint32_t size = std::uint32_t(kept.size());
        if (f.size() >= 5 && (!ParseHexField(f[4], size) || size == 0 || size > kept.size())) {
            Fail(step, L"\u8bb0\u5f55\u635f\u574f");  // 记录损坏
            return;
        }
        FileHandle disk(::CreateFileW(f[0].c_str(), GENERIC_READ | (m_plan ? 0 : GENERIC_WRITE),
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
        std::vector<std::uint8_t> now(size);
        if (!disk || !ReadAt(disk.Get(), offset, now.data(), DWORD(now.size()))) {
            Fail(step, L"\u65e0\u6cd5\u8bfb\u53d6\u78c1\u76d8");  // 无法读取磁盘
            return;
        }
        // Written again since (another tool, a new infection): what is there now stays.
        if (DigestHexWide(Md5(now.data(), now.size())) != f[3]) {
            Fail(step, L"\u5df2\u88ab\u6539\u5199\uff0c\u4fdd\u7559");  // 已被改写，保留
            return;
        }
        if (!m_plan && !WriteAt(disk.Get(), offset, kept.data(), DWORD(size))) {
            Fail(step, L"\u65e0\u6cd5\u5199\u5165\u78c1\u76d8");  // 无法写入磁盘
            return;
        }
        step.result = UndoResult::Restored;
    }

    bool m_plan;
    bool m_sectors;
};

}  // namespace

std::vector<SessionInfo> ListSessions(const std::wstring& sessionsFolder) {
    std::vector<SessionInfo> sessions;
    const FolderListing listing = ListFolder(sessionsFolder, L"*");
    for (const FolderEntry& e : listing.entries) {
        if (!e.IsRealFolder()) continue;
        SessionInfo s;
        s.name = e.name;
        s.folder = sessionsFolder + e.name + L"\\";
        if (!Exists(s.folder + L"journal.txt")) continue;
        s.journal = DecodeJournal(ReadAll(s.folder + L"journal.txt"));
        s.undone = Exists(s.folder + kUndoneMark);
        const std::string progress = ReadAll(s.folder + kUndoProgress);
        std::size_t at = 0;
        while (at < progress.size()) {
            const std::size_t end = progress.find('\n', at);
            if (end == std::string::npos) break;  // a line cut off is not counted
            const std::string number = progress.substr(at, end - at);
            if (!number.empty() && number.find_first_not_of("0123456789") == std::string::npos && number.size() < 10)
                s.reversedLines.insert(std::size_t(std::stoul(number)));
            at = end + 1;
        }
        sessions.push_back(s);
    }
    std::sort(sessions.begin(), sessions.end(), [](const SessionInfo& a, const SessionInfo& b) { return a.name < b.name; });
    return sessions;
}

bool SessionWroteSectors(const SessionInfo& session) {
    for (const auto& e : session.journal.entries)
        if (e.kind == journal::kWriteSector) return true;
    return false;
}

std::vector<UndoStep> UndoSession(const SessionInfo& session, bool planOnly, bool sectorsConfirmed) {
    std::vector<UndoStep> steps;
    Undoer undoer(planOnly, sectorsConfirmed);
    std::set<std::size_t> reversed = session.reversedLines;
    bool failed = false;
    for (std::size_t i = session.journal.entries.size(); i-- > 0;) {
        if (session.reversedLines.count(i)) continue;  // put back by an earlier undo
        steps.push_back(undoer.Reverse(session.journal.entries[i]));
        if (steps.back().result == UndoResult::Failed)
            failed = true;
        else
            reversed.insert(i);
    }
    if (!planOnly) {
        // Done only when everything is back; otherwise what was reversed is noted, and another undo (the
        // copy found, the sector confirmed) takes the rest without putting anything back twice.
        const wchar_t* name = failed ? kUndoProgress : kUndoneMark;
        std::string text;
        if (failed)
            for (std::size_t i : reversed) text += std::to_string(i) + "\n";
        FileHandle mark(::CreateFileW((session.folder + name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr));
        DWORD written = 0;
        if (mark && !text.empty()) ::WriteFile(mark.Get(), text.data(), DWORD(text.size()), &written, nullptr);
    }
    return steps;
}

std::wstring DescribeUndoStep(const UndoStep& step, bool planOnly) {
    const std::wstring& k = std::wstring(step.entry.kind.begin(), step.entry.kind.end());
    switch (step.result) {
        case UndoResult::Restored:
            return (planOnly ? L"\u5c06\u6062\u590d\uff1a" : L"\u5df2\u6062\u590d\uff1a") + step.path;  // 将恢复/已恢复：
        case UndoResult::RestoredBeside:
            // 已恢复到旁边：X（原位置已有文件：Y）
            return (planOnly ? L"\u5c06\u6062\u590d\u5230\u65c1\u8fb9\uff1a" : L"\u5df2\u6062\u590d\u5230\u65c1\u8fb9\uff1a") +
                   step.detail + L"\uff08\u539f\u4f4d\u7f6e\u5df2\u6709\u6587\u4ef6\uff1a" + step.path + L"\uff09";
        case UndoResult::NothingToDo:
            return std::wstring();
        case UndoResult::NotReversible:
            // 不撤销：已结束的进程不会重新启动 / 已运行的程序
            return (k == L"end-process" ? L"\u4e0d\u64a4\u9500\uff1a\u5df2\u7ed3\u675f\u7684\u8fdb\u7a0b\u4e0d\u4f1a\u91cd\u65b0\u542f\u52a8\uff1a"
                                        : L"\u4e0d\u64a4\u9500\uff1a\u5df2\u8fd0\u884c\u7684\u7a0b\u5e8f\uff1a") +
                   step.path;
        case UndoResult::Failed:
        default:
            // 无法恢复：X（原因）
            return L"\u65e0\u6cd5\u6062\u590d\uff1a" + step.path + L"\uff08" + step.detail + L"\uff09";
    }
}

std::wstring DescribeSessionChanges(const JournalText& journal) {
    std::map<std::wstring, int> counts;
    for (const auto& e : journal.entries) {
        const std::string& k = e.kind;
        if (k == journal::kDeleteFile || k == journal::kDeleteAtRestart || k == journal::kDeleteAtBoot || k == journal::kRemoveFolder)
            ++counts[L"\u5220\u9664"];  // 删除
        else if (k == journal::kSetAttributes)
            ++counts[L"\u5c5e\u6027"];  // 属性
        else if (k == journal::kMove)
            ++counts[L"\u6539\u540d"];  // 改名
        else if (k == journal::kCreateFolder || k == journal::kCreateFile || k == journal::kEditFile)
            ++counts[L"\u5199\u5165"];  // 写入
        else if (k == journal::kSetValue || k == journal::kDeleteValue || k == journal::kDeleteKey || k == journal::kCreateKey)
            ++counts[L"\u6ce8\u518c\u8868"];  // 注册表
        else if (k == journal::kWriteSector)
            ++counts[L"\u6247\u533a"];  // 扇区
        else if (k == journal::kEndProcess)
            ++counts[L"\u8fdb\u7a0b"];  // 进程
    }
    std::wstring out;
    for (const wchar_t* name : {L"\u5220\u9664", L"\u5c5e\u6027", L"\u6539\u540d", L"\u5199\u5165", L"\u6ce8\u518c\u8868",
                                L"\u6247\u533a", L"\u8fdb\u7a0b"}) {
        const auto it = counts.find(name);
        if (it == counts.end()) continue;
        out += (out.empty() ? L"" : L"\uff0c") + it->first + L" " + std::to_wstring(it->second);
    }
    return out.empty() ? L"\u65e0\u66f4\u6539" : out;  // 无更改
}
