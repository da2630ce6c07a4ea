#include <gtest/gtest.h>
#include <windows.h>
#include <wincrypt.h>

#include "disposal/Digest.h"
#include "native/Md5Reference.h"

std::string ReferenceMd5(const unsigned char* p, std::size_t n) {
    HCRYPTPROV provider = 0;
    HCRYPTHASH hash = 0;
    Md5Digest d{};
    DWORD len = DWORD(d.size());
    const bool ok = ::CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) &&
                    ::CryptCreateHash(provider, CALG_MD5, 0, 0, &hash) &&
                    ::CryptHashData(hash, p, DWORD(n), 0) &&
                    ::CryptGetHashParam(hash, HP_HASHVAL, d.data(), &len, 0) && len == d.size();
    EXPECT_TRUE(ok) << "CryptoAPI MD5 failed: " << ::GetLastError();
    if (hash) ::CryptDestroyHash(hash);
    if (provider) ::CryptReleaseContext(provider, 0);
    return DigestHex(d);
}
