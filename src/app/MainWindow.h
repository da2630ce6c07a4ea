#pragma once
// The window that hosts the scan controller. The HTML page comes later; until then this is a plain top-level
// window that starts the scan the command line asked for, pushes nothing to a page, and closes cleanly.
#include <windows.h>

#include <memory>
#include <string>
#include <vector>

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
    // The last value pushed for a key (what the page would show).
    std::wstring PageValue(const std::wstring& key) const;

private:
    static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
    LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
    void OnCreated();
    // False when nothing was asked for or no requested scan could start.
    bool StartRequestedScan();

    MainWindowServices m_services;
    ScanController m_controller;
    HWND m_hwnd = nullptr;
    std::vector<std::pair<std::wstring, std::wstring>> m_page;
};

// Runs the main window with the real seams and the steps built so far; returns the message loop's exit code.
int RunMainWindow(int showCommand, const std::vector<std::wstring>& directories);
