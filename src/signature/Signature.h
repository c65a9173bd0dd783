// The signature of a picture: the integer average red, green and blue of each
// of 4 x 4 blocks, and its 192-character text form whose character order is
// the order of the values.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

class TBitmap32;

// 48 values 0..255, block column slowest, then block row, channel fastest:
// element (Col, Row, Ch), each from 1, is number (Col-1)*12 + (Row-1)*3 + Ch-1.
struct TSignature {
    static constexpr int kValues = 48;
    std::array<int32_t, kValues> Values{};

    int32_t& At(int col, int row, int channel) { return Values[Index(col, row, channel)]; }
    int32_t At(int col, int row, int channel) const { return Values[Index(col, row, channel)]; }
    static constexpr int Index(int col, int row, int channel) {
        return (col - 1) * 12 + (row - 1) * 3 + (channel - 1);
    }
    bool operator==(const TSignature&) const = default;
};

// 48 fields of 4 characters, each value right-aligned with spaces in front.
std::string SignatureToString(const TSignature& signature);

// Parses 48 fields of 4 characters (the last ones may be cut short; text past
// the 192nd character is ignored). A field that is not a whole number throws
// EConvertError "'<field>' is not a valid integer value".
TSignature StringToSignature(std::string_view text);
// The same without the error: false when the text does not parse.
bool TryStringToSignature(std::string_view text, TSignature& signature);

// Block averages of a raster. Block (Col, Row) spans BW + 1 columns from
// (Col-1)*BW and BH + 1 rows from (Row-1)*BH, BW = ceil(W/4), BH = ceil(H/4);
// positions outside the raster read its OuterColor. Never fails.
TSignature ComputeSignature(const TBitmap32& raster);

// Histogram equalisation of brightness (red + green + blue) in place; every
// written pixel has alpha 0. A raster without pixels is left unchanged.
void NormalizeBrightness(TBitmap32& raster);

}  // namespace corvane
