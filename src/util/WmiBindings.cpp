#include "util/WmiBindings.h"

#include <objbase.h>
#include <oleauto.h>
#include <wbemidl.h>

#include "util/WinHandle.h"

namespace {

constexpr ULONG kMaxBindings = 4096;  // no machine has more; a broken provider must not spin for ever

std::wstring TextProperty(IWbemClassObject* object, const wchar_t* name, bool* readable = nullptr) {
    VARIANT value;
    ::VariantInit(&value);
    std::wstring text;
    const bool ok = SUCCEEDED(object->Get(name, 0, &value, nullptr, nullptr));
    if (ok && value.vt == VT_BSTR && value.bstrVal) text.assign(value.bstrVal, ::SysStringLen(value.bstrVal));
    if (readable) *readable = ok && value.vt == VT_BSTR;
    ::VariantClear(&value);
    return text;
}

class ComApartment {
public:
    ComApartment() : m_ok(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}
    ~ComApartment() {
        if (m_ok) ::CoUninitialize();
    }
    bool Ok() const { return m_ok; }

private:
    bool m_ok;
};

class Bstr {
public:
    explicit Bstr(const wchar_t* text) : m_text(::SysAllocString(text)) {}
    ~Bstr() { ::SysFreeString(m_text); }
    operator BSTR() const { return m_text; }

private:
    BSTR m_text;
};

class RealSource final : public WmiBindingSource {
public:
    WmiBindingList Query() override {
        WmiBindingList list;
        ComApartment com;
        if (!com.Ok()) return Failed(list, WmiBindingList::Failure::Other, E_FAIL);
        // A second call in the process answers RPC_E_TOO_LATE: the security set first still holds.
        const HRESULT security = ::CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                                        RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
        if (FAILED(security) && security != RPC_E_TOO_LATE) return Failed(list, WmiBindingList::Failure::Other, security);
        IWbemLocator* rawLocator = nullptr;
        HRESULT hr = ::CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                                        reinterpret_cast<void**>(&rawLocator));
        if (FAILED(hr)) return Failed(list, WmiBindingList::Failure::Other, hr);
        ComPtr<IWbemLocator> locator(rawLocator);
        IWbemServices* rawServices = nullptr;
        hr = locator->ConnectServer(Bstr(L"ROOT\\CIMV2"), nullptr, nullptr, nullptr, 0, nullptr, nullptr, &rawServices);
        if (FAILED(hr)) return Failed(list, WmiBindingList::Failure::Connect, hr);
        ComPtr<IWbemServices> services(rawServices);
        hr = ::CoSetProxyBlanket(services.Get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr, RPC_C_AUTHN_LEVEL_CALL,
                                 RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
        if (FAILED(hr)) return Failed(list, WmiBindingList::Failure::ProxyBlanket, hr);
        IEnumWbemClassObject* rawEnum = nullptr;
        hr = services->ExecQuery(Bstr(L"WQL"), Bstr(L"SELECT * FROM __FilterToConsumerBinding"),
                                 WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr, &rawEnum);
        if (FAILED(hr)) return Failed(list, WmiBindingList::Failure::Other, hr);
        ComPtr<IEnumWbemClassObject> bindings(rawEnum);
        for (ULONG n = 0; n < kMaxBindings; ++n) {
            IWbemClassObject* rawBinding = nullptr;
            ULONG returned = 0;
            if (bindings->Next(WBEM_INFINITE, 1, &rawBinding, &returned) != WBEM_S_NO_ERROR || returned == 0) break;
            ComPtr<IWbemClassObject> binding(rawBinding);
            WmiBinding b;
            b.consumer = TextProperty(binding.Get(), L"consumer");
            IWbemClassObject* rawConsumer = nullptr;
            if (!b.consumer.empty() &&
                SUCCEEDED(services->GetObject(Bstr(b.consumer.c_str()), 0, nullptr, &rawConsumer, nullptr)) && rawConsumer) {
                ComPtr<IWbemClassObject> consumer(rawConsumer);
                b.consumerFetched = true;
                b.scriptText = TextProperty(consumer.Get(), L"ScriptText", &b.hasScriptText);
                if (!b.hasScriptText) b.scriptFileName = TextProperty(consumer.Get(), L"ScriptFileName");
            }
            b.filter = TextProperty(binding.Get(), L"filter");
            list.bindings.push_back(b);
        }
        return list;
    }

private:
    static WmiBindingList Failed(WmiBindingList& list, WmiBindingList::Failure failure, HRESULT code) {
        list.failure = failure;
        list.code = code;
        return list;
    }
};

}  // namespace

WmiBindingSource& RealWmiBindings() {
    static RealSource source;
    return source;
}

void WriteStandardOutputLine(const std::wstring& line) {
    HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
    if (!out || out == INVALID_HANDLE_VALUE) return;
    const std::wstring text = line + L"\r\n";
    const int n = ::WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), nullptr, 0, nullptr, nullptr);
    if (n <= 0) return;
    std::string narrow(std::size_t(n), '\0');
    ::WideCharToMultiByte(CP_ACP, 0, text.data(), int(text.size()), &narrow[0], n, nullptr, nullptr);
    DWORD written = 0;
    ::WriteFile(out, narrow.data(), DWORD(narrow.size()), &written, nullptr);
}
