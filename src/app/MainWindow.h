#pragma once
// The window that hosts the scan controller. The HTML page comes later; until then this is a plain top-level
// window that starts the scan the command line asked for, keeps what it pushes to the page (PageValue), takes
// the page's clicks (OnPageClick), refreshes every second, and closes cleanly.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "app/PageBridge.h"
#include "disposal/CrcBlacklist.h"
#include "scan/ScanController.h"

struct MainWindowServices {
    ScanSteps& steps;
    DriveSystem& drives;
    ControllerSeams seams;
};

class CMainDlg final : public ScanWindow {
public:
    explicit CMainDlg(MainWindowServices services);
    ~CMainDlg() override;

    bool Create(const std::vector<std::wstring>& directories);
    int RunMessageLoop(int showCommand);

    HWND Handle() override { return m_hwnd; }
    void CallPage(const wchar_t* key, const std::wstring& value, const wchar_t* param) override;
    void Close() override;

    ScanController& Controller() { return m_controller; }
    // The last value pushed for a key (what the page would show), and every push in order.
    std::wstring PageValue(const std::wstring& key) const;
    const std::vector<std::pair<std::wstring, std::wstring>>& PagePushes() const { return m_pushes; }

    // A click on the page's element `id` (the browser host's event sink calls this).
    void OnPageClick(const std::wstring& id, bool firstIsText, const std::wstring& first);
    // The one-second refresh.
    void Refresh();
    // The page's settings commands change the machine in sessions of their own.
    ScanContext& Settings() { return m_settings; }

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
    void OnCreated();
    // False when nothing was asked for or no requested scan could start.
    bool StartRequestedScan();

    RefreshInput CurrentState();
    void Carry(const std::vector<RefreshStep>& steps);
    void OpenLog();

    MainWindowServices m_services;
    ScanController m_controller;
    ScanContext m_settings;
    CrcBlacklist m_noCrcs;  // the settings commands dispose of nothing by its content
    HWND m_hwnd = nullptr;
    std::vector<std::pair<std::wstring, std::wstring>> m_page;
    std::vector<std::pair<std::wstring, std::wstring>> m_pushes;
};

// Runs the main window with the real seams and the steps built so far; returns the message loop's exit code.
int RunMainWindow(int showCommand, const std::vector<std::wstring>& directories);
