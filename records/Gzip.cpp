#include "records/Gzip.h"

#include <zlib.h>

namespace gzip {

namespace {
constexpr int kGzipWindow = 15 + 16;  // zlib's window bits, plus 16: the gzip wrapper
constexpr std::size_t kChunk = 64 * 1024;
}  // namespace

bool Compress(const std::string& text, std::string& out) {
    z_stream z{};
    if (deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, kGzipWindow, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK)
        return false;
    out.assign(deflateBound(&z, static_cast<uLong>(text.size())), '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
    z.avail_in = static_cast<uInt>(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const int rc = deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return rc == Z_STREAM_END;
}

bool Decompress(const std::string& data, std::string& out, std::size_t limit) {
    z_stream z{};
    if (inflateInit2(&z, kGzipWindow) != Z_OK) return false;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    out.clear();
    int rc = Z_OK;
    char chunk[kChunk];
    while (rc == Z_OK) {
        z.next_out = reinterpret_cast<Bytef*>(chunk);
        z.avail_out = sizeof chunk;
        rc = inflate(&z, Z_NO_FLUSH);
        const std::size_t got = sizeof chunk - z.avail_out;
        if (out.size() + got > limit) {
            rc = Z_MEM_ERROR;
            break;
        }
        out.append(chunk, got);
        // No progress and no more input: a stream cut short.
        if (rc == Z_BUF_ERROR || (rc == Z_OK && got == 0 && z.avail_in == 0)) break;
    }
    inflateEnd(&z);
    return rc == Z_STREAM_END;
}

}  // namespace gzip
