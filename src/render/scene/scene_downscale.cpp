#include "render/scene/scene_downscale.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace orvane {
namespace {

// Weights are fixed point in 1/128: small enough for the signed bytes of AVX2's multiply-add, and
// 255 x 128 still fits a signed 16-bit sum.
constexpr int kOne = 128;
constexpr int kShift = 7;

// Source rows the next output row reads and this one does not. A row is far larger than a page, so
// the hardware prefetcher restarts at every page boundary and the vertical pass would stall on
// memory; touching the next rows a row early hides that behind the current one's work.
struct RowsAhead {
    static constexpr int kMax = 4;
    const std::uint8_t* rows[kMax] = {};
    int count = 0;

    void fetch(int offset) const {
        for (int k = 0; k < count; ++k) __builtin_prefetch(rows[k] + offset);
    }
};
constexpr int kCacheLine = 64;

bool isResamplable(cairo_surface_t* source) {
    if (!source || cairo_surface_get_type(source) != CAIRO_SURFACE_TYPE_IMAGE) return false;
    const cairo_format_t format = cairo_image_surface_get_format(source);
    return (format == CAIRO_FORMAT_ARGB32 || format == CAIRO_FORMAT_RGB24) &&
           cairo_image_surface_get_width(source) > 0 && cairo_image_surface_get_height(source) > 0;
}

// The kernels below come in a portable form, an SSE2 form (every x86-64) and an AVX2 form chosen
// at run time; they compute the same bytes.

// One output row from `count` source rows, every byte weighted alike (premultiplied channels average
// linearly, so no channel needs special care). Returns how many bytes it did; the caller finishes.
int blendRowsPortable(const std::uint8_t* const* rows, const std::uint16_t* weights, int count, std::uint8_t* out,
                      int from, int bytes) {
    for (int i = from; i < bytes; ++i) {
        unsigned sum = kOne / 2;
        for (int t = 0; t < count; ++t) sum += static_cast<unsigned>(weights[t]) * rows[t][i];
        out[i] = static_cast<std::uint8_t>(sum >> kShift);
    }
    return bytes;
}

// One output pixel from `taps` neighbours whose weights are spread over four channels each.
[[maybe_unused]] std::uint32_t blendPixelPortable(const std::uint8_t* px, const std::uint16_t* w, int taps,
                                                  std::uint8_t* out) {
    for (int c = 0; c < 4; ++c) {
        unsigned sum = kOne / 2;
        for (int t = 0; t < taps; ++t) sum += static_cast<unsigned>(w[4 * t]) * px[4 * t + c];
        out[c] = static_cast<std::uint8_t>(sum >> kShift);
    }
    std::uint32_t packed;
    std::memcpy(&packed, out, 4);
    return packed;
}

#if defined(__x86_64__) || defined(__i386__)
#define ORVANE_DOWNSCALE_X86 1

// Sixteen bytes at a time from N rows, weights broadcast once per row.
template <int N>
int blendRowsSse2(const std::uint8_t* const* rows, const std::uint16_t* weights, std::uint8_t* out, int bytes,
                  const RowsAhead& ahead) {
    const __m128i zero = _mm_setzero_si128();
    const __m128i half = _mm_set1_epi16(kOne / 2);
    __m128i w[N];
    for (int t = 0; t < N; ++t) w[t] = _mm_set1_epi16(static_cast<short>(weights[t]));
    int i = 0;
    for (; i + 16 <= bytes; i += 16) {
        if (i % kCacheLine == 0) ahead.fetch(i);
        __m128i lo = half;
        __m128i hi = half;
        for (int t = 0; t < N; ++t) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[t] + i));
            lo = _mm_add_epi16(lo, _mm_mullo_epi16(_mm_unpacklo_epi8(v, zero), w[t]));
            hi = _mm_add_epi16(hi, _mm_mullo_epi16(_mm_unpackhi_epi8(v, zero), w[t]));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                         _mm_packus_epi16(_mm_srli_epi16(lo, kShift), _mm_srli_epi16(hi, kShift)));
    }
    return i;
}

// Thirty-two bytes at a time: two rows' bytes interleaved meet a (weight, weight) pair in one
// multiply-add.
template <int N>
__attribute__((target("avx2"))) int blendRowsAvx2(const std::uint8_t* const* rows, const std::uint16_t* weights,
                                                  std::uint8_t* out, int bytes, const RowsAhead& ahead) {
    constexpr int kPairs = (N + 1) / 2;
    const __m256i zero = _mm256_setzero_si256();
    const __m256i half = _mm256_set1_epi16(kOne / 2);
    __m256i w[kPairs];
    for (int p = 0; p < kPairs; ++p) {
        const int second = 2 * p + 1 < N ? weights[2 * p + 1] : 0;
        w[p] = _mm256_set1_epi16(static_cast<short>(weights[2 * p] | (second << 8)));
    }
    int i = 0;
    for (; i + 32 <= bytes; i += 32) {
        if (i % kCacheLine == 0) ahead.fetch(i);
        __m256i lo = half;
        __m256i hi = half;
        for (int p = 0; p < kPairs; ++p) {
            const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[2 * p] + i));
            const __m256i b =
                2 * p + 1 < N ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[2 * p + 1] + i)) : zero;
            lo = _mm256_add_epi16(lo, _mm256_maddubs_epi16(_mm256_unpacklo_epi8(a, b), w[p]));
            hi = _mm256_add_epi16(hi, _mm256_maddubs_epi16(_mm256_unpackhi_epi8(a, b), w[p]));
        }
        // Unpacking and packing both work within 128-bit lanes, so the bytes come back in order.
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                            _mm256_packus_epi16(_mm256_srli_epi16(lo, kShift), _mm256_srli_epi16(hi, kShift)));
    }
    return i;
}

// One output pixel: groups of four neighbours (one 16-byte load) times their spread weights.
inline __m128i blendPixelSse2(const std::uint8_t* px, const std::uint16_t* w, int taps) {
    const __m128i zero = _mm_setzero_si128();
    __m128i sum = _mm_set1_epi16(kOne / 2);
    for (int t = 0; t < taps; t += 4) {
        const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(px + 4 * t));
        const __m128i* wt = reinterpret_cast<const __m128i*>(w + 4 * t);
        sum = _mm_add_epi16(sum, _mm_mullo_epi16(_mm_unpacklo_epi8(four, zero), _mm_loadu_si128(wt)));
        sum = _mm_add_epi16(sum, _mm_mullo_epi16(_mm_unpackhi_epi8(four, zero), _mm_loadu_si128(wt + 1)));
    }
    // Both halves hold partial sums of the same four channels; the rounding half is counted twice
    // and taken back out of one of them.
    sum = _mm_add_epi16(sum, _mm_sub_epi16(_mm_srli_si128(sum, 8), _mm_set1_epi16(kOne / 2)));
    return _mm_packus_epi16(_mm_srli_epi16(sum, kShift), zero);
}

std::uint32_t blendColumnsSse2(const std::uint8_t* row, const int* first, const std::uint16_t* weights, int taps,
                               int count, std::uint8_t* out) {
    int all = -1;
    for (int x = 0; x < count; ++x) {
        const int packed = _mm_cvtsi128_si32(blendPixelSse2(row + 4 * first[x], weights + 4 * x * taps, taps));
        std::memcpy(out + 4 * x, &packed, 4);
        all &= packed;
    }
    return static_cast<std::uint32_t>(all);
}

// Sixteen bytes from `a` in the low lane, sixteen from `b` in the high one.
__attribute__((target("avx2"))) inline __m256i pair(const void* a, const void* b) {
    return _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_loadu_si128(static_cast<const __m128i*>(a))),
                                   _mm_loadu_si128(static_cast<const __m128i*>(b)), 1);
}

// Two output pixels at a time, one per 128-bit lane. (A weight may be a whole 128, which the
// signed bytes of a byte multiply-add cannot hold, so these stay 16-bit.)
__attribute__((target("avx2"))) std::uint32_t blendColumnsAvx2(const std::uint8_t* row, const int* first,
                                                               const std::uint16_t* weights,
                                                               const std::uint16_t* pairWeights, int taps, int count,
                                                               std::uint8_t* out) {
    const __m256i zero = _mm256_setzero_si256();
    const __m256i half = _mm256_set1_epi16(kOne / 2);
    __m256i all = _mm256_set1_epi32(-1);
    int x = 0;
    for (; x + 2 <= count; x += 2) {
        const std::uint8_t* a = row + 4 * first[x];
        const std::uint8_t* b = row + 4 * first[x + 1];
        const std::uint16_t* w = pairWeights + 4 * x * taps;  // pair x, x + 1 starts where x does
        __m256i sum = half;
        for (int t = 0; t < taps; t += 4) {
            const __m256i four = pair(a + 4 * t, b + 4 * t);
            const __m256i* wt = reinterpret_cast<const __m256i*>(w + 8 * t);
            sum = _mm256_add_epi16(sum, _mm256_mullo_epi16(_mm256_unpacklo_epi8(four, zero), _mm256_loadu_si256(wt)));
            sum =
                _mm256_add_epi16(sum, _mm256_mullo_epi16(_mm256_unpackhi_epi8(four, zero), _mm256_loadu_si256(wt + 1)));
        }
        sum = _mm256_add_epi16(sum, _mm256_sub_epi16(_mm256_srli_si256(sum, 8), half));
        const __m256i packed = _mm256_packus_epi16(_mm256_srli_epi16(sum, kShift), zero);
        all = _mm256_and_si256(all, packed);
        const int pa = _mm256_cvtsi256_si32(packed);
        const int pb = _mm_cvtsi128_si32(_mm256_extracti128_si256(packed, 1));
        std::memcpy(out + 4 * x, &pa, 4);
        std::memcpy(out + 4 * x + 4, &pb, 4);
    }
    std::uint32_t result = static_cast<std::uint32_t>(_mm256_cvtsi256_si32(all)) &
                           static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm256_extracti128_si256(all, 1)));
    if (x < count) result &= blendColumnsSse2(row, first + x, weights + 4 * x * taps, taps, count - x, out + 4 * x);
    return result;
}

// Both pixels of a pair (see blendColumnsBytesAvx2), summed over every group of four taps: words
// B01 B23 G01 G23 R01 R23 A01 A23 in each lane.
template <int Groups>
__attribute__((target("avx2"))) inline __m256i pairSumBytes(const std::uint8_t* a, const std::uint8_t* b,
                                                            const std::int8_t* w, int groups) {
    if constexpr (Groups > 0) groups = Groups;
    const __m256i planar = _mm256_setr_epi8(0, 4, 8, 12, 1, 5, 9, 13, 2, 6, 10, 14, 3, 7, 11, 15, 0, 4, 8, 12, 1, 5, 9,
                                            13, 2, 6, 10, 14, 3, 7, 11, 15);
    __m256i sum = _mm256_setzero_si256();
    for (int g = 0; g < groups; ++g) {
        const __m256i px = _mm256_shuffle_epi8(pair(a + 16 * g, b + 16 * g), planar);
        const __m256i wt = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w + 32 * g));
        sum = _mm256_add_epi16(sum, _mm256_maddubs_epi16(px, wt));
    }
    return sum;
}

// Four pixels' rounded channels from two pairs: lane 0 holds pixels x and x+2, lane 1 x+1 and x+3.
template <int Groups>
__attribute__((target("avx2"))) inline __m256i fourPixelsBytes(const std::uint8_t* row, const int* first,
                                                               const std::int8_t* pairBytes, int taps, int x) {
    const std::ptrdiff_t pairSize = 8 * static_cast<std::ptrdiff_t>(taps);
    const std::int8_t* w = pairBytes + static_cast<std::ptrdiff_t>(x) * 4 * taps;
    const __m256i sum =
        _mm256_hadd_epi16(pairSumBytes<Groups>(row + 4 * first[x], row + 4 * first[x + 1], w, taps / 4),
                          pairSumBytes<Groups>(row + 4 * first[x + 2], row + 4 * first[x + 3], w + pairSize, taps / 4));
    return _mm256_srli_epi16(_mm256_add_epi16(sum, _mm256_set1_epi16(kOne / 2)), kShift);
}

// Eight output pixels at a time from taps in groups of four. A byte shuffle puts each channel's
// four taps side by side, so one multiply-add of unsigned bytes by signed byte weights sums two taps
// per word and a horizontal add the other two: far fewer steps than widening every byte first.
// `pairBytes` holds, per pair of pixels and group, the first pixel's sixteen weights then the
// second's. A weight of a whole 128 does not fit a signed byte: blocks of eight holding one
// (`byteBlocks` says which do not) and the last few pixels go through the 16-bit kernel above.
// `Groups` fixes the number of tap groups at compile time (0: any, from `taps`).
template <int Groups>
__attribute__((target("avx2"))) std::uint32_t blendColumnsBytesAvx2(
    const std::uint8_t* row, const int* first, const std::uint16_t* weights, const std::uint16_t* pairWeights,
    const std::int8_t* pairBytes, const std::uint8_t* byteBlocks, int taps, int count, std::uint8_t* out) {
    const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    __m256i all = _mm256_set1_epi32(-1);
    std::uint32_t rest = 0xffffffffu;
    int x = 0;
    for (; x + 8 <= count; x += 8) {
        const std::ptrdiff_t offset = static_cast<std::ptrdiff_t>(x) * 4 * taps;
        if (!byteBlocks[x / 8]) {
            rest &= blendColumnsAvx2(row, first + x, weights + offset, pairWeights + offset, taps, 8, out + 4 * x);
            continue;
        }
        // Packed, lane 0 holds pixels x, x+2, x+4, x+6 and lane 1 the odd ones.
        const __m256i low = fourPixelsBytes<Groups>(row, first, pairBytes, taps, x);
        const __m256i high = fourPixelsBytes<Groups>(row, first, pairBytes, taps, x + 4);
        const __m256i packed = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(low, high), order);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + 4 * x), packed);
        all = _mm256_and_si256(all, packed);
    }
    if (x < count) {
        const std::ptrdiff_t offset = static_cast<std::ptrdiff_t>(x) * 4 * taps;
        rest &= blendColumnsAvx2(row, first + x, weights + offset, pairWeights + offset, taps, count - x, out + 4 * x);
    }
    const __m128i folded = _mm_and_si128(_mm256_castsi256_si128(all), _mm256_extracti128_si256(all, 1));
    const __m128i twice = _mm_and_si128(folded, _mm_srli_si128(folded, 8));
    return rest & static_cast<std::uint32_t>(_mm_cvtsi128_si32(_mm_and_si128(twice, _mm_srli_si128(twice, 4))));
}

bool hasAvx2() {
    static const bool available = __builtin_cpu_supports("avx2");
    return available;
}
#endif

// One output row from `count` source rows (see blendRowsPortable).
void blendRows(const std::uint8_t* const* rows, const std::uint16_t* weights, int count, std::uint8_t* out, int bytes,
               [[maybe_unused]] const RowsAhead& ahead) {
    if (count == 1) {
        std::memcpy(out, rows[0], static_cast<std::size_t>(bytes));
        return;
    }
    int done = 0;
#if defined(ORVANE_DOWNSCALE_X86)
    // Shrinking by up to 3x, the common case, merges two to four rows.
    if (hasAvx2()) {
        if (count == 2) done = blendRowsAvx2<2>(rows, weights, out, bytes, ahead);
        if (count == 3) done = blendRowsAvx2<3>(rows, weights, out, bytes, ahead);
        if (count == 4) done = blendRowsAvx2<4>(rows, weights, out, bytes, ahead);
    } else {
        if (count == 2) done = blendRowsSse2<2>(rows, weights, out, bytes, ahead);
        if (count == 3) done = blendRowsSse2<3>(rows, weights, out, bytes, ahead);
        if (count == 4) done = blendRowsSse2<4>(rows, weights, out, bytes, ahead);
    }
#endif
    blendRowsPortable(rows, weights, count, out, done, bytes);
}

// One output row from the vertically blended row: each pixel from `taps` (a multiple of four)
// neighbours, with weights spread over the four channels (see AreaDownscaler::columnWeights_).
// Returns the bitwise AND of every pixel written, whose alpha byte tells whether all are opaque.
std::uint32_t blendColumns(const std::uint8_t* row, const int* first, const std::uint16_t* weights,
                           [[maybe_unused]] const std::uint16_t* pairWeights,
                           [[maybe_unused]] const std::int8_t* pairBytes,
                           [[maybe_unused]] const std::uint8_t* byteBlocks, int taps, int count, std::uint8_t* out) {
#if defined(ORVANE_DOWNSCALE_X86)
    if (hasAvx2()) {
        // Shrinking by up to 3x, the common case, takes four taps.
        if (taps == 4)
            return blendColumnsBytesAvx2<1>(row, first, weights, pairWeights, pairBytes, byteBlocks, taps, count, out);
        return blendColumnsBytesAvx2<0>(row, first, weights, pairWeights, pairBytes, byteBlocks, taps, count, out);
    }
    return blendColumnsSse2(row, first, weights, taps, count, out);
#else
    std::uint32_t all = 0xffffffffu;
    for (int x = 0; x < count; ++x)
        all &= blendPixelPortable(row + 4 * first[x], weights + 4 * x * taps, taps, out + 4 * x);
    return all;
#endif
}

}  // namespace

AreaDownscaler::Taps AreaDownscaler::axisTaps(double start, double end, int sourceSize, double destStart,
                                              double destSize, int boxStart, int count, int tapMultiple) {
    Taps result;
    if (count <= 0 || sourceSize <= 0 || destSize <= 0 || end <= start) return result;
    const double step = (end - start) / destSize;  // source pixels per target pixel
    const int lo = std::clamp(static_cast<int>(std::floor(start)), 0, sourceSize - 1);
    const int hi = std::clamp(static_cast<int>(std::ceil(end)) - 1, lo, sourceSize - 1);
    const auto clampIndex = [&](double v) { return std::clamp(static_cast<int>(std::floor(v)), lo, hi); };

    if (step < 1) {
        // Enlarging: each target pixel's centre interpolated between its two nearest source pixels,
        // as Cairo's bilinear filter does; averaging areas smaller than a pixel would turn the
        // picture into blocks. Beyond the region's edge the edge pixel repeats.
        result.taps = (2 + tapMultiple - 1) / tapMultiple * tapMultiple;
        result.first.resize(static_cast<std::size_t>(count));
        result.weights.assign(static_cast<std::size_t>(count) * static_cast<std::size_t>(result.taps), 0);
        for (int i = 0; i < count; ++i) {
            const double centre = std::clamp(start + (boxStart + i + 0.5 - destStart) * step, start, end) - 0.5;
            const double below = std::floor(centre);
            const int j0 = std::clamp(static_cast<int>(below), lo, hi);
            const int j1 = std::clamp(static_cast<int>(below) + 1, lo, hi);
            const auto far = static_cast<std::uint16_t>(j1 == j0 ? 0 : std::lround((centre - below) * kOne));
            std::uint16_t* out =
                result.weights.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(result.taps);
            result.first[static_cast<std::size_t>(i)] = j0;
            out[0] = static_cast<std::uint16_t>(kOne - far);
            out[1] = far;
        }
        return result;
    }

    // Exact coverage first; the tap count is only known once every pixel has been seen.
    std::vector<std::vector<double>> exact(static_cast<std::size_t>(count));
    result.first.resize(static_cast<std::size_t>(count));
    int taps = 1;
    for (int i = 0; i < count; ++i) {
        const double u0 = std::clamp(start + (boxStart + i - destStart) * step, start, end);
        const double u1 = std::clamp(start + (boxStart + i + 1 - destStart) * step, start, end);
        std::vector<double>& w = exact[static_cast<std::size_t>(i)];
        if (u1 - u0 <= 1e-9 * step) {
            // Beyond the region's edge: the edge pixel repeats.
            result.first[static_cast<std::size_t>(i)] = clampIndex(std::min(u0, end - 1e-9));
            w.push_back(1);
            continue;
        }
        const int j0 = clampIndex(u0);
        const int j1 = std::max(j0, clampIndex(std::nextafter(u1, u0)));
        result.first[static_cast<std::size_t>(i)] = j0;
        w.assign(static_cast<std::size_t>(j1 - j0 + 1), 0.0);
        for (int j = static_cast<int>(std::floor(u0)); j < u1; ++j) {
            const double overlap = std::min<double>(j + 1, u1) - std::max<double>(j, u0);
            if (overlap > 0) w[static_cast<std::size_t>(std::clamp(j, j0, j1) - j0)] += overlap / (u1 - u0);
        }
        taps = std::max(taps, j1 - j0 + 1);
    }
    taps = (taps + tapMultiple - 1) / tapMultiple * tapMultiple;
    result.taps = taps;
    result.weights.assign(static_cast<std::size_t>(count) * static_cast<std::size_t>(taps), 0);
    for (int i = 0; i < count; ++i) {
        const std::vector<double>& w = exact[static_cast<std::size_t>(i)];
        std::uint16_t* out = result.weights.data() + static_cast<std::size_t>(i) * static_cast<std::size_t>(taps);
        int sum = 0;
        std::size_t largest = 0;
        for (std::size_t t = 0; t < w.size(); ++t) {
            out[t] = static_cast<std::uint16_t>(std::lround(w[t] * kOne));
            sum += out[t];
            if (w[t] > w[largest]) largest = t;
        }
        // Rounding must not tint a flat colour: the weights always sum to exactly one.
        out[largest] = static_cast<std::uint16_t>(out[largest] + (kOne - sum));
    }
    return result;
}

cairo_surface_t* AreaDownscaler::resample(cairo_surface_t* source, const Rect& region, const Rect& destination,
                                          const PixelBox& box) {
    opaque_ = false;
    if (!isResamplable(source) || box.empty()) return nullptr;
    const cairo_format_t format = cairo_image_surface_get_format(source);
    if (!output_ || cairo_image_surface_get_width(output_.get()) != box.width ||
        cairo_image_surface_get_height(output_.get()) != box.height ||
        cairo_image_surface_get_format(output_.get()) != format) {
        output_.reset(cairo_image_surface_create(format, box.width, box.height));
        if (cairo_surface_status(output_.get()) != CAIRO_STATUS_SUCCESS) {
            output_.reset();
            return nullptr;
        }
    }
    cairo_surface_flush(output_.get());
    if (!resampleInto(source, region, destination, box, cairo_image_surface_get_data(output_.get()),
                      cairo_image_surface_get_stride(output_.get())))
        return nullptr;
    cairo_surface_mark_dirty(output_.get());
    return output_.get();
}

bool AreaDownscaler::resampleInto(cairo_surface_t* source, const Rect& region, const Rect& destination,
                                  const PixelBox& box, std::uint8_t* outData, int outStride) {
    opaque_ = false;
    if (!isResamplable(source) || box.empty() || region.width <= 0 || region.height <= 0 || destination.width <= 0 ||
        destination.height <= 0 || !outData)
        return false;
    const int sourceWidth = cairo_image_surface_get_width(source);
    const int sourceHeight = cairo_image_surface_get_height(source);
    const Geometry geometry{sourceWidth, sourceHeight, region, destination, box};
    if (!(geometry == geometry_) || columns_.taps == 0) {
        geometry_ = geometry;
        columns_ =
            axisTaps(region.minX(), region.maxX(), sourceWidth, destination.x, destination.width, box.x, box.width, 4);
        rows_ = axisTaps(region.minY(), region.maxY(), sourceHeight, destination.y, destination.height, box.y,
                         box.height, 1);
        const int taps = columns_.taps;
        rowFirst_ = *std::min_element(columns_.first.begin(), columns_.first.end());
        int end = rowFirst_;
        for (int first : columns_.first) end = std::max(end, first + taps);
        rowWidth_ = std::min(end, sourceWidth) - rowFirst_;
        // Wide loads may read the zero-weighted taps past the last filled column.
        rowBuffer_.assign(static_cast<std::size_t>(end - rowFirst_ + 4) * 4, 0);
        for (int& first : columns_.first) first -= rowFirst_;
        columnWeights_.resize(columns_.weights.size() * 4);
        for (std::size_t i = 0; i < columns_.weights.size(); ++i)
            std::fill_n(columnWeights_.begin() + static_cast<std::ptrdiff_t>(4 * i), 4, columns_.weights[i]);
        // For two pixels side by side, per group of four taps: the first pixel's spread weights of
        // taps 0-1, the second's, then both pixels' taps 2-3, so each lane loads with one read.
        pairWeights_.assign(columnWeights_.size(), 0);
        const std::size_t spread = static_cast<std::size_t>(4 * taps);
        for (std::size_t x = 0; x + 1 < columns_.first.size(); x += 2) {
            const std::uint16_t* a = columnWeights_.data() + x * spread;
            const std::uint16_t* b = a + spread;
            std::uint16_t* out = pairWeights_.data() + x * spread;
            for (std::size_t t = 0; t < static_cast<std::size_t>(taps); t += 4, out += 32) {
                std::copy_n(a + 4 * t, 8, out);
                std::copy_n(b + 4 * t, 8, out + 8);
                std::copy_n(a + 4 * t + 8, 8, out + 16);
                std::copy_n(b + 4 * t + 8, 8, out + 24);
            }
        }
        // The byte kernel's weights: per pair of pixels and group of four taps, each pixel's four
        // weights once per channel, the first pixel's sixteen bytes before the second's.
        pairBytes_.assign((columns_.first.size() + 1) / 2 * 8 * static_cast<std::size_t>(taps), 0);
        byteBlocks_.assign(columns_.first.size() / 8 + 1, 1);
        for (std::size_t x = 0; x < columns_.first.size(); ++x) {
            const std::uint16_t* w = columns_.weights.data() + x * static_cast<std::size_t>(taps);
            std::int8_t* out = pairBytes_.data() + (x / 2) * 8 * static_cast<std::size_t>(taps) + (x % 2) * 16;
            for (int t = 0; t < taps; ++t) {
                if (w[t] > 127) byteBlocks_[x / 8] = 0;
                for (int c = 0; c < 4; ++c)
                    out[32 * (t / 4) + 4 * c + t % 4] = static_cast<std::int8_t>(std::min<int>(w[t], 127));
            }
        }
    }

    cairo_surface_flush(source);
    const std::uint8_t* data = cairo_image_surface_get_data(source);
    const int stride = cairo_image_surface_get_stride(source);

    std::vector<const std::uint8_t*> rows(static_cast<std::size_t>(rows_.taps));
    std::vector<std::uint16_t> weights(static_cast<std::size_t>(rows_.taps));
    std::uint32_t all = 0xffffffffu;
    for (int y = 0; y < box.height; ++y) {
        int used = 0;
        for (int t = 0; t < rows_.taps; ++t) {
            const std::uint16_t w = rows_.weights[static_cast<std::size_t>(y * rows_.taps + t)];
            if (w == 0) continue;
            const int sourceRow = rows_.first[static_cast<std::size_t>(y)] + t;
            rows[static_cast<std::size_t>(used)] =
                data + static_cast<std::ptrdiff_t>(sourceRow) * stride + static_cast<std::ptrdiff_t>(rowFirst_) * 4;
            weights[static_cast<std::size_t>(used)] = w;
            ++used;
        }
        RowsAhead ahead;
        if (y + 1 < box.height) {
            const int nextFirst = rows_.first[static_cast<std::size_t>(y + 1)];
            const int seen = rows_.first[static_cast<std::size_t>(y)] + rows_.taps;
            for (int t = std::max(0, seen - nextFirst); t < rows_.taps && ahead.count < RowsAhead::kMax; ++t) {
                if (rows_.weights[static_cast<std::size_t>((y + 1) * rows_.taps + t)] == 0) continue;
                ahead.rows[ahead.count++] = data + static_cast<std::ptrdiff_t>(nextFirst + t) * stride +
                                            static_cast<std::ptrdiff_t>(rowFirst_) * 4;
            }
        }
        blendRows(rows.data(), weights.data(), used, rowBuffer_.data(), rowWidth_ * 4, ahead);
        all &= blendColumns(rowBuffer_.data(), columns_.first.data(), columnWeights_.data(), pairWeights_.data(),
                            pairBytes_.data(), byteBlocks_.data(), columns_.taps, box.width,
                            outData + static_cast<std::ptrdiff_t>(y) * outStride);
    }
    // A pixel's alpha is the top byte of its native 32-bit word; RGB24 has none to look at.
    opaque_ = cairo_image_surface_get_format(source) == CAIRO_FORMAT_RGB24 || (all >> 24) == 0xffu;
    return true;
}

}  // namespace orvane
