#include "services/module_compression.h"

#include <lzma.h>
#include <zlib.h>
#include <zstd.h>

#include <climits>
#include <cstring>

namespace {

// The decoder's own memory: enough for the largest dictionary of xz -9 (64 MiB) and
// zstd's usual window bound; a stream that asks for more is refused as damaged.
const uint64_t kDecoderMemory = 128ULL * 1024 * 1024;
const int kZstdWindowLog = 27;
const size_t kPiece = 1024 * 1024;

// The bytes unpacked so far, grown a piece at a time and never past one byte beyond the
// limit: that byte tells a stream that would go on from one that ends at the limit.
class Output {
  public:
    // The whole bound is reserved at once, not touched: growing piece by piece would
    // let the string's own growth take twice the bound.
    Output(std::string* out, size_t limit) : out_(out), limit_(limit) {
        out_->clear();
        out_->reserve(limit_ + 1);
    }

    // Room for the next piece; null when the limit was passed.
    char* room(size_t* size) {
        if (used_ > limit_)
            return nullptr;
        const size_t most = limit_ - used_ + 1;
        *size = most < kPiece ? most : kPiece;
        out_->resize(used_ + *size);
        return &(*out_)[used_];
    }
    void wrote(size_t size) { used_ += size; }
    bool over() const { return used_ > limit_; }
    // The bytes written, or MODULE_TOO_LARGE (with nothing kept) past the limit.
    int finish(int result) {
        out_->resize(result == MODULE_UNPACKED && !over() ? used_ : 0);
        out_->shrink_to_fit();
        return over() ? MODULE_TOO_LARGE : result;
    }

  private:
    std::string* out_;
    size_t limit_;
    size_t used_ = 0;
};

int unpackXz(const std::string& packed, Output* output) {
    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_stream_decoder(&stream, kDecoderMemory, LZMA_CONCATENATED) != LZMA_OK)
        return MODULE_DAMAGED;
    stream.next_in = reinterpret_cast<const uint8_t*>(packed.data());
    stream.avail_in = packed.size();
    int result = MODULE_DAMAGED;
    size_t size = 0;
    while (char* room = output->room(&size)) {
        stream.next_out = reinterpret_cast<uint8_t*>(room);
        stream.avail_out = size;
        const lzma_ret ret = lzma_code(&stream, LZMA_FINISH);
        output->wrote(size - stream.avail_out);
        if (ret == LZMA_STREAM_END)
            result = MODULE_UNPACKED;
        if (ret != LZMA_OK)
            break;
    }
    lzma_end(&stream);
    return output->finish(result);
}

int unpackZstd(const std::string& packed, Output* output) {
    ZSTD_DCtx* context = ZSTD_createDCtx();
    if (!context)
        return MODULE_DAMAGED;
    ZSTD_DCtx_setParameter(context, ZSTD_d_windowLogMax, kZstdWindowLog);
    ZSTD_inBuffer in = {packed.data(), packed.size(), 0};
    int result = MODULE_DAMAGED;
    size_t size = 0;
    while (char* room = output->room(&size)) {
        ZSTD_outBuffer out = {room, size, 0};
        const size_t left = ZSTD_decompressStream(context, &out, &in);
        output->wrote(out.pos);
        if (ZSTD_isError(left))
            break;
        // All input taken and all output given: whole when the last frame ended.
        if (in.pos == in.size && out.pos < out.size) {
            if (left == 0 && in.size > 0)
                result = MODULE_UNPACKED;
            break;
        }
    }
    ZSTD_freeDCtx(context);
    return output->finish(result);
}

int unpackGzip(const std::string& packed, Output* output) {
    if (packed.size() > UINT_MAX)
        return MODULE_DAMAGED;
    z_stream stream;
    std::memset(&stream, 0, sizeof stream);
    if (inflateInit2(&stream, 16 + MAX_WBITS) != Z_OK)
        return MODULE_DAMAGED;
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    stream.avail_in = static_cast<uInt>(packed.size());
    int result = MODULE_DAMAGED;
    size_t size = 0;
    while (char* room = output->room(&size)) {
        stream.next_out = reinterpret_cast<Bytef*>(room);
        stream.avail_out = static_cast<uInt>(size);
        const int ret = inflate(&stream, Z_NO_FLUSH);
        output->wrote(size - stream.avail_out);
        if (ret == Z_STREAM_END && stream.avail_in == 0) {
            result = MODULE_UNPACKED;
            break;
        }
        // Another member follows, as gzip itself reads concatenated files.
        if (ret == Z_STREAM_END && inflateReset(&stream) == Z_OK)
            continue;
        if (ret != Z_OK)
            break;
    }
    inflateEnd(&stream);
    return output->finish(result);
}

bool endsWith(const std::string& text, const char* tail) {
    const size_t size = std::strlen(tail);
    return text.size() > size && text.compare(text.size() - size, size, tail) == 0;
}

}  // namespace

size_t packedSizeLimit(size_t unpackedLimit) {
    return unpackedLimit + unpackedLimit / 256 + 4096;
}

std::string moduleCompression(const std::string& fileName) {
    return endsWith(fileName, ".ko.xz")    ? "xz"
           : endsWith(fileName, ".ko.zst") ? "zst"
           : endsWith(fileName, ".ko.gz")  ? "gz"
                                           : "";
}

int unpackModule(const std::string& compression, const std::string& packed, size_t limit,
                 std::string* out) {
    Output output(out, limit);
    if (compression == "xz")
        return unpackXz(packed, &output);
    if (compression == "zst")
        return unpackZstd(packed, &output);
    if (compression == "gz")
        return unpackGzip(packed, &output);
    if (!compression.empty())
        return output.finish(MODULE_DAMAGED);
    if (packed.size() > limit) {
        out->clear();
        return MODULE_TOO_LARGE;
    }
    *out = packed;
    return MODULE_UNPACKED;
}
