#pragma once
// The WMI event bindings of the machine ("__FilterToConsumerBinding" in "ROOT\CIMV2"), behind a seam: Wine
// has no WMI persistence classes, and a test decides which bindings there are.
#include <windows.h>

#include <string>
#include <vector>

struct WmiBinding {
    std::wstring consumer;        // the binding's "consumer" object path
    bool consumerFetched = false; // the consumer object could be had
    bool hasScriptText = false;   // its "ScriptText" could be read (else "ScriptFileName" was asked)
    std::wstring scriptText;
    std::wstring scriptFileName;
    std::wstring filter;          // the binding's "filter" object path
};

struct WmiBindingList {
    enum class Failure { None, Connect, ProxyBlanket, Other };
    Failure failure = Failure::None;
    HRESULT code = S_OK;  // the failing call's result
    std::vector<WmiBinding> bindings;
};

class WmiBindingSource {
public:
    virtual ~WmiBindingSource() = default;
    // Runs on a thread of its own, which owns the COM initialisation it makes.
    virtual WmiBindingList Query() = 0;
};

WmiBindingSource& RealWmiBindings();

// A diagnostic line on the process's standard output (ANSI), followed by end-of-line.
void WriteStandardOutputLine(const std::wstring& line);
