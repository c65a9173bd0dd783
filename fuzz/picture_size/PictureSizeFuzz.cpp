// Any byte sequence asked for its picture size must give a positive pixel
// count or none, never a crash or a read beyond the data.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "review/PictureSize.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A copy of exactly Size bytes, so that the sanitizer sees any overread.
    const std::vector<uint8_t> bytes(data, data + size);
    const std::optional<int64_t> pixels = corvane::PicturePixels(bytes.data(), bytes.size());
    if (pixels && *pixels <= 0) std::abort();
    return 0;
}
