// The pixel count of a picture file read from its header alone, without
// decoding: JPEG (frame header), GIF (logical screen) and BMP (info header),
// recognised by their first bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

namespace corvane {

// Width x height of the picture in [data, data + size); none when the data
// are not one of the three kinds or their header is cut short or invalid.
std::optional<int64_t> PicturePixels(const uint8_t* data, size_t size);

// The same for a file; none also when it cannot be read.
std::optional<int64_t> PictureFilePixels(const std::string& fileName);

}  // namespace corvane
