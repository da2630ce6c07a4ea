#include <gtest/gtest.h>
#include <openssl/evp.h>

#include "disposal/Digest.h"
#include "native/Md5Reference.h"

std::string ReferenceMd5(const unsigned char* p, std::size_t n) {
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned len = 0;
    EXPECT_EQ(1, EVP_Digest(p, n, out, &len, EVP_md5(), nullptr));
    Md5Digest d{};
    std::copy(out, out + 16, d.begin());
    return DigestHex(d);
}
