#pragma once
// MD5 by an implementation that is not ours, as lower-case hex: OpenSSL on Linux, CryptoAPI on Windows.
#include <cstddef>
#include <string>

std::string ReferenceMd5(const unsigned char* p, std::size_t n);
