#pragma once
// Socket owner; kept apart because winsock2.h must come before windows.h.
#include <winsock2.h>

#include "util/WinHandle.h"

struct SocketTraits {
    using pointer = SOCKET;
    static pointer Invalid() noexcept { return INVALID_SOCKET; }
    static void Close(pointer s) noexcept { ::closesocket(s); }
};
using SocketHandle = UniqueHandle<SocketTraits>;
