#include "cleaners/drive/MediaRepair.h"

#include <initguid.h>
#include <wmsdkidl.h>

#include <vector>

#include "engine/Effects.h"
#include "cleaners/drive/MediaFiles.h"
#include "disposal/FindingRecord.h"
#include "engine/ScanContext.h"
#include "util/WinHandle.h"

namespace {

const wchar_t kPreferenceKey[] = L"Software\\Microsoft\\MediaPlayer\\Preferences";
const wchar_t kPreferenceValue[] = L"URLAndExitCommandsEnabled";

// The DRM editor of the Windows Media Format runtime, which the MinGW headers do not declare.
// {FF130EBC-A6C3-42A6-B401-C3382C3E08B3}
const GUID kIidDrmEditor = {0xFF130EBC, 0xA6C3, 0x42A6, {0xB4, 0x01, 0xC3, 0x38, 0x2C, 0x3E, 0x08, 0xB3}};
struct IDrmEditor : public IUnknown {
    virtual HRESULT STDMETHODCALLTYPE GetDRMProperty(LPCWSTR name, WMT_ATTR_DATATYPE* type, BYTE* value,
                                                     WORD* length) = 0;
};

typedef HRESULT(STDMETHODCALLTYPE* CreateEditorFn)(IWMMetadataEditor**);

class RuntimeMediaEditor final : public MediaEditor {
public:
    bool Available() override { return Create() != nullptr; }

    bool ReadFirstScript(const wchar_t* path, std::wstring& type, std::wstring& command) override {
        return WithHeader(path, [&](IWMHeaderInfo* header, IWMMetadataEditor*) {
            WORD count = 0, typeLength = 0, commandLength = 0;
            QWORD time = 0;
            if (FAILED(header->GetScriptCount(&count)) || count == 0) return false;
            if (FAILED(header->GetScript(0, nullptr, &typeLength, nullptr, &commandLength, &time))) return false;
            std::vector<WCHAR> t(typeLength + 1u, 0), c(commandLength + 1u, 0);
            if (FAILED(header->GetScript(0, t.data(), &typeLength, c.data(), &commandLength, &time))) return false;
            type = t.data();
            command = c.data();
            return true;
        });
    }

    bool RemoveFirstScript(const wchar_t* path) override {
        return WithHeader(path, [&](IWMHeaderInfo* header, IWMMetadataEditor* editor) {
            return SUCCEEDED(header->RemoveScript(0)) && SUCCEEDED(editor->Flush());
        });
    }

    bool ReadLicenceInfo(const wchar_t* path, std::wstring& value) override {
        ComPtr<IWMMetadataEditor> editor(Open(path));
        if (!editor) return false;
        ComPtr<IDrmEditor> drm;
        bool found = false;
        if (SUCCEEDED(editor->QueryInterface(kIidDrmEditor, reinterpret_cast<void**>(drm.Put())))) {
            WMT_ATTR_DATATYPE type = WMT_TYPE_STRING;
            WORD length = 0;
            if (SUCCEEDED(drm->GetDRMProperty(L"DRMHeader.LAINFO", &type, nullptr, &length))) {
                std::vector<BYTE> data(length + sizeof(WCHAR), 0);
                if (SUCCEEDED(drm->GetDRMProperty(L"DRMHeader.LAINFO", &type, data.data(), &length))) {
                    value = reinterpret_cast<const wchar_t*>(data.data());
                    found = true;
                }
            }
        }
        editor->Close();
        return found;
    }

private:
    CreateEditorFn Create() {
        static const CreateEditorFn create = [] {
            HMODULE runtime = ::LoadLibraryW(L"WMVCore.DLL");  // kept for the program's life
            return runtime ? reinterpret_cast<CreateEditorFn>(reinterpret_cast<void*>(::GetProcAddress(runtime, "WMCreateEditor")))
                           : nullptr;
        }();
        return create;
    }

    IWMMetadataEditor* Open(const wchar_t* path) {
        CreateEditorFn create = Create();
        IWMMetadataEditor* editor = nullptr;
        if (!create || FAILED(create(&editor)) || !editor) return nullptr;
        if (FAILED(editor->Open(path))) {
            editor->Release();
            return nullptr;
        }
        return editor;
    }

    template <typename Work>
    bool WithHeader(const wchar_t* path, Work work) {
        ComPtr<IWMMetadataEditor> editor(Open(path));
        if (!editor) return false;
        ComPtr<IWMHeaderInfo> header;
        bool result = false;
        if (SUCCEEDED(editor->QueryInterface(IID_IWMHeaderInfo, reinterpret_cast<void**>(header.Put()))))
            result = work(header.Get(), editor.Get());
        header.Reset();
        editor->Close();
        return result;
    }
};

bool WritePreference(Effects& fx, HKEY root, DWORD value) {
    return fx.SetRegistryValue(root, kPreferenceKey, kPreferenceValue, REG_DWORD, &value, sizeof value);
}

}  // namespace

MediaEditor& WindowsMediaEditor() {
    static RuntimeMediaEditor editor;
    return editor;
}

int DisableUrlAndExitCommands(Effects& fx, bool flag) {
    const DWORD value = flag ? 0 : 1;
    RegKey probe;
    if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPreferenceKey, 0, KEY_SET_VALUE, probe.Put()) != ERROR_SUCCESS) return 0;
    probe.Reset();
    WritePreference(fx, HKEY_LOCAL_MACHINE, value);
    return WritePreference(fx, HKEY_CURRENT_USER, value) ? 1 : 0;
}

bool MediaRepair::RepairMediaFile(const wchar_t* path) {
    if (!path || !HasMediaExtension(path) || !m_editor.Available()) return true;
    Effects& fx = m_scan.Changes();
    const std::wstring readable = fx.ReadablePath(path);
    if (readable.empty()) return true;
    int found = 0;
    std::wstring type, command;
    if (m_editor.ReadFirstScript(readable.c_str(), type, command)) {
        // Whatever its type, the first command goes; "URLANDEXIT" is only the commonest.
        ++found;
        fx.EditFile(path, [&](const std::wstring& target) { return m_editor.RemoveFirstScript(target.c_str()); });
    }
    std::wstring licence;
    if (m_editor.ReadLicenceInfo(readable.c_str(), licence) && StartsWithKnownLicenceAddress(licence)) ++found;
    DisableUrlAndExitCommands(fx, true);
    if (found == 0) return true;
    m_scan.AddRepaired();
    RecordFinding(m_log, nullptr, 0, path, kOutcomeRepaired, kThreatDisguised);
    return false;
}
