#include "signature/Signature.h"

#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "util/ArdoUtils.h"
#include "util/Exception.h"
#include "util/StrToInt.h"

namespace corvane {

std::string SignatureToString(const TSignature& signature) {
    std::string text;
    text.reserve(TSignature::kValues * 4);
    for (int32_t value : signature.Values) text += PadNumber(std::to_string(value), 4);
    return text;
}

namespace {

#ifndef __SSE2__
// The common field: leading spaces, then decimal digits to the end, checked
// and converted four bytes at a time. Returns false for anything else, which
// then takes the general conversion.
inline bool ParsePlainField(const char* f, int32_t& value) {
    uint32_t w;
    std::memcpy(&w, f, 4);  // byte 0 is the field's first character
    const uint32_t low = w & 0x0F0F0F0Fu;
    const uint32_t spaces = (~w >> 4) & 0x01010101u;  // bytes 0x2? (after the next check)
    const uint32_t spaceMask = spaces * 0xFFu;
    const bool ok = (w & 0xE0E0E0E0u) == 0x20202020u &&          // every byte 0x20..0x3F
                    ((low + 0x06060606u) & 0xF0F0F0F0u) == 0 &&  // low nibbles 0..9
                    (low & spaceMask) == 0 &&                    // spaces are exactly ' '
                    (spaceMask & (spaceMask + 1)) == 0 &&        // only leading spaces
                    spaceMask != 0xFFFFFFFFu;                    // at least one digit
    value = static_cast<int32_t>((low & 0xFF) * 1000 + ((low >> 8) & 0xFF) * 100 +
                                 ((low >> 16) & 0xFF) * 10 + (low >> 24));
    return ok;
}
#endif

TSignature ParseGeneral(std::string_view text) {
    TSignature result;
    for (int32_t& value : result.Values) {
        const std::string_view piece = text.substr(0, 4);
        text.remove_prefix(piece.size());
        value = StrToInt(piece);
    }
    return result;
}

#ifdef __SSE2__
// Four fields (16 characters) at a time: each must be leading spaces followed
// by digits to its end; the values are formed with one multiply-add.
inline bool ParsePlainFields4(const char* text, int32_t* values) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text));
    const __m128i isSpace = _mm_cmpeq_epi8(v, _mm_set1_epi8(' '));
    const __m128i isDigit = _mm_and_si128(_mm_cmpgt_epi8(v, _mm_set1_epi8('0' - 1)),
                                          _mm_cmplt_epi8(v, _mm_set1_epi8('9' + 1)));
    const unsigned spaces = static_cast<unsigned>(_mm_movemask_epi8(isSpace));
    const unsigned digits = static_cast<unsigned>(_mm_movemask_epi8(isDigit));
    // Bit 4k + i is character i of field k: a space may only follow a space,
    // and the last character of a field is a digit.
    const bool ok = (spaces | digits) == 0xFFFFu && ((spaces >> 1) & ~spaces & 0x7777u) == 0 &&
                    (spaces & 0x8888u) == 0;
    const __m128i low = _mm_and_si128(v, _mm_set1_epi8(0x0F));  // spaces give 0
    const __m128i weights = _mm_setr_epi16(1000, 100, 10, 1, 1000, 100, 10, 1);
    const __m128i zero = _mm_setzero_si128();
    const __m128 first = _mm_castsi128_ps(_mm_madd_epi16(_mm_unpacklo_epi8(low, zero), weights));
    const __m128 second = _mm_castsi128_ps(_mm_madd_epi16(_mm_unpackhi_epi8(low, zero), weights));
    const __m128i sums =
        _mm_add_epi32(_mm_castps_si128(_mm_shuffle_ps(first, second, _MM_SHUFFLE(2, 0, 2, 0))),
                      _mm_castps_si128(_mm_shuffle_ps(first, second, _MM_SHUFFLE(3, 1, 3, 1))));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(values), sums);
    return ok;
}
#endif

}  // namespace

TSignature StringToSignature(std::string_view text) {
    if (text.size() < TSignature::kValues * 4) return ParseGeneral(text);
    TSignature result;
    bool plain = true;
#ifdef __SSE2__
    for (int i = 0; i < TSignature::kValues; i += 4)
        plain &= ParsePlainFields4(text.data() + 4 * i, &result.Values[i]);
#else
    for (int i = 0; i < TSignature::kValues; ++i)
        plain &= ParsePlainField(text.data() + 4 * i, result.Values[i]);
#endif
    return plain ? result : ParseGeneral(text);
}

bool TryStringToSignature(std::string_view text, TSignature& signature) {
    try {
        signature = StringToSignature(text);
        return true;
    } catch (const EConvertError&) {
        return false;
    }
}

}  // namespace corvane
