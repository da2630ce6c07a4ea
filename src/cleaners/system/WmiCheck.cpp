#include "cleaners/system/WmiCheck.h"

#include <windows.h>

#include <cwchar>

#include "util/WinHandle.h"

namespace {

struct QueryJob {
    WmiBindingSource* source;
    WmiBindingList result;
};

DWORD WINAPI RunQuery(void* job) {
    auto* j = static_cast<QueryJob*>(job);
    j->result = j->source->Query();
    return 0;
}

std::wstring Hex(HRESULT code) {
    wchar_t text[16];
    std::swprintf(text, 16, L"%lx", static_cast<unsigned long>(code));
    return text;
}

}  // namespace

int CheckWmiScriptConsumers(WmiBindingSource& source, const std::function<void(const std::wstring&)>& line) {
    QueryJob job{&source, WmiBindingList()};
    KernelHandle thread(::CreateThread(nullptr, 0, &RunQuery, &job, 0, nullptr));
    if (!thread) return 0;
    ::WaitForSingleObject(thread.Get(), INFINITE);
    const WmiBindingList& list = job.result;
    if (list.failure == WmiBindingList::Failure::Connect) {
        line(L"Could not connect. Error code = 0x" + Hex(list.code));
        return 0;
    }
    if (list.failure == WmiBindingList::Failure::ProxyBlanket) {
        line(L"Could not set proxy blanket. Error code = 0x" + Hex(list.code));
        return 0;
    }
    if (list.failure != WmiBindingList::Failure::None) return 0;
    int found = 0;
    for (const WmiBinding& b : list.bindings) {
        line(L"Consumer : " + b.consumer);
        if (b.consumerFetched) {
            found = 1;  // a script-less consumer is still a persistent binding
            if (!b.scriptText.empty())
                line(L"Code: " + b.scriptText);
            else if (!b.scriptFileName.empty())
                line(L"Code Path: " + b.scriptFileName);
        }
        line(L"Filter : " + b.filter);
    }
    return found;
}
