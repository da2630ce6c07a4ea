#pragma once
// The Windows version class: 0 other, 1 Windows XP, 2 Windows Vista, 3 Windows 7.
int GetWindowsVersionClass();
