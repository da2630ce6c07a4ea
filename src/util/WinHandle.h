#pragma once
// One move-only owner for every kind of Windows handle; the traits name the invalid value and how to close.
#include <windows.h>
#include <winsvc.h>

#include <utility>

template <typename Traits>
class UniqueHandle {
public:
    using pointer = typename Traits::pointer;

    UniqueHandle() noexcept : m_h(Traits::Invalid()) {}
    explicit UniqueHandle(pointer h) noexcept : m_h(h) {}
    ~UniqueHandle() { Reset(); }
    UniqueHandle(UniqueHandle&& other) noexcept : m_h(other.Release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    pointer Get() const noexcept { return m_h; }
    bool Valid() const noexcept { return m_h != Traits::Invalid(); }
    explicit operator bool() const noexcept { return Valid(); }
    pointer operator->() const noexcept { return m_h; }  // for COM pointers

    pointer Release() noexcept { return std::exchange(m_h, Traits::Invalid()); }
    void Reset(pointer h = Traits::Invalid()) noexcept {
        pointer old = std::exchange(m_h, h);
        if (old != Traits::Invalid()) Traits::Close(old);
    }
    // For functions that return a handle through an out-parameter.
    pointer* Put() noexcept {
        Reset();
        return &m_h;
    }

private:
    pointer m_h;
};

struct KernelHandleTraits {  // events, processes, threads, mappings, snapshots that return null on failure
    using pointer = HANDLE;
    static pointer Invalid() noexcept { return nullptr; }
    static void Close(pointer h) noexcept { ::CloseHandle(h); }
};
struct FileHandleTraits {  // CreateFile and CreateToolhelp32Snapshot return INVALID_HANDLE_VALUE
    using pointer = HANDLE;
    static pointer Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(pointer h) noexcept { ::CloseHandle(h); }
};
struct FindHandleTraits {
    using pointer = HANDLE;
    static pointer Invalid() noexcept { return INVALID_HANDLE_VALUE; }
    static void Close(pointer h) noexcept { ::FindClose(h); }
};
struct RegKeyTraits {
    using pointer = HKEY;
    static pointer Invalid() noexcept { return nullptr; }
    static void Close(pointer h) noexcept { ::RegCloseKey(h); }
};
struct ServiceHandleTraits {
    using pointer = SC_HANDLE;
    static pointer Invalid() noexcept { return nullptr; }
    static void Close(pointer h) noexcept { ::CloseServiceHandle(h); }
};
struct ModuleTraits {
    using pointer = HMODULE;
    static pointer Invalid() noexcept { return nullptr; }
    static void Close(pointer h) noexcept { ::FreeLibrary(h); }
};
template <typename T>
struct ComTraits {
    using pointer = T*;
    static pointer Invalid() noexcept { return nullptr; }
    static void Close(pointer p) noexcept { p->Release(); }
};

using KernelHandle = UniqueHandle<KernelHandleTraits>;
using FileHandle = UniqueHandle<FileHandleTraits>;
using FindHandle = UniqueHandle<FindHandleTraits>;
using RegKey = UniqueHandle<RegKeyTraits>;
using ServiceHandle = UniqueHandle<ServiceHandleTraits>;
using ModuleHandle = UniqueHandle<ModuleTraits>;
template <typename T>
using ComPtr = UniqueHandle<ComTraits<T>>;
