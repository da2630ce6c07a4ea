// MinGW's <comdef.h> declares the narrow-to-BSTR conversion that _bstr_t needs but ships no library defining it;
// the archive library's Windows-version query is its only user.
#include <comdef.h>

namespace _com_util {
BSTR WINAPI ConvertStringToBSTR(const char* text) {
    if (!text) return nullptr;
    const int length = ::MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (length <= 0) return nullptr;
    BSTR result = ::SysAllocStringLen(nullptr, UINT(length - 1));
    if (result) ::MultiByteToWideChar(CP_ACP, 0, text, -1, result, length);
    return result;
}
}  // namespace _com_util
