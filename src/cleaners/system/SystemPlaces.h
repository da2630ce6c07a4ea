#pragma once
// Where the system cleaners look on this machine. The program takes the real places; tests point them at
// folders and an image file of their own.
#include <string>

struct SystemPlaces {
    std::wstring bootDisk;          // the first physical disk, "\\.\PhysicalDrive0"
    std::wstring windowsFolder;     // without a trailing backslash
    std::wstring programFiles;      // without a trailing backslash
    std::wstring allUsersStartup;   // the Startup folders, without a trailing backslash
    std::wstring userStartup;
    std::wstring userProfile;       // "%USERPROFILE%" expanded, without a trailing backslash
    int windowsVersionClass = 0;    // 0 other, 1 XP, 2 Vista, 3 Windows 7
};

SystemPlaces RealSystemPlaces();
