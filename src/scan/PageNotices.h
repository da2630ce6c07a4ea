#pragma once
// One-shot page notices: raised by the start-up and at the end of a scan, pushed once by the window's timer.
#include <atomic>

struct PageNotices {
    std::atomic<int> runInstall{0};     // "Run_Install"
    std::atomic<int> usbVInstall{0};    // "Usb_VInstall"
    std::atomic<int> delphiVirus{0};    // "Delphi_Virus"
    std::atomic<int> vbsVirus{0};       // "VBS_Virus"
    std::atomic<int> mp3Virus{0};       // "MP3_Virus"
    std::atomic<int> autodoorVirus{0};  // "AUTODOOR_Virus"
    std::atomic<int> solaVirus{0};      // "SOLA_Virus"
    std::atomic<int> sysInstall{0};     // "Sys_Install": the companion product was accepted
    std::atomic<int> checkNo{0};        // "CHECK_No": it was declined
};
extern PageNotices g_Notices;
