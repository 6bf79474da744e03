#include "records/FileDigest.h"

#include <openssl/evp.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace {

// The SHA-256 of what `feed` gives the context, as lower-case hex; "" when `feed` failed or
// OpenSSL has no SHA-256.
std::string Sha256Hex(const std::function<bool(EVP_MD_CTX*)>& feed) {
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) return "";
    if (!feed(ctx.get())) return "";
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(ctx.get(), digest, &length);
    static const char* const kHex = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kHex[digest[i] >> 4];
        hex += kHex[digest[i] & 0x0F];
    }
    return hex;
}

}  // namespace

bool FileSha256(const std::string& path, std::string& hex, std::string& error) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"),
                                                         &std::fclose);
    if (!file) {
        error = "Cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    bool readError = false;
    hex = Sha256Hex([&](EVP_MD_CTX* ctx) {
        std::vector<unsigned char> chunk(64 * 1024);
        std::size_t got = 0;
        while ((got = std::fread(chunk.data(), 1, chunk.size(), file.get())) > 0)
            EVP_DigestUpdate(ctx, chunk.data(), got);
        readError = std::ferror(file.get()) != 0;
        return !readError;
    });
    if (readError) {
        error = "Cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    if (hex.empty()) {
        error = "Cannot compute the SHA-256 of " + path + ": OpenSSL has no SHA-256";
        return false;
    }
    return true;
}

std::string BytesSha256(const std::string& data) {
    return Sha256Hex(
        [&](EVP_MD_CTX* ctx) { return EVP_DigestUpdate(ctx, data.data(), data.size()) == 1; });
}
