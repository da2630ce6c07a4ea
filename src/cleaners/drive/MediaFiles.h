#pragma once
// Which files the media cleaner examines, and what it looks for in them.
#include <string>

// ".mp3", ".wmv", ".wma", ".asf", ".mp2" from the last "." to the end, without regard to case; a path whose
// only "." is its first character has no extension.
bool HasMediaExtension(const std::wstring& path);

// A script command of this type opens a web page when the player reaches it.
constexpr const wchar_t* kUrlAndExitType = L"URLANDEXIT";
bool IsUrlAndExit(const std::wstring& type);

// The licence-acquisition address of a site that pushes pages through the DRM dialog (20 characters).
constexpr const wchar_t* kKnownLicenceAddress = L"http://drm.wmvla.cn/";
bool StartsWithKnownLicenceAddress(const std::wstring& value);
