#include "media/pictures/OpaqueScaling.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pivra {

namespace {

// Weights are fixed point with this many fraction bits. Between the passes
// a channel is kept in 15 bits (signed 16-bit arithmetic takes it), so the
// second pass sums at most 32,767 × 2^14, inside 32 bits.
constexpr int weightBits = 14;
constexpr std::int32_t unitWeight = 1 << weightBits;
constexpr int betweenPassesShift = weightBits - 7;
constexpr int finalShift = weightBits + 7;

// For each pixel along one side of the result, the source pixels it takes
// and their weights, which sum to exactly one.
struct Taps {
    std::vector<int> first;
    std::vector<int> count;
    std::vector<int> offset; // into weights
    std::vector<std::int32_t> weights;
};

// Fills `taps` anew; its memory, and the thread's, is kept from one call to
// the next, since the GUI thread's allocations wait on a lock the workers
// share.
void fillTaps(Taps& taps, int in, int out, bool smooth)
{
    taps.first.clear();
    taps.count.clear();
    taps.offset.clear();
    taps.weights.clear();
    thread_local std::vector<double> weights;
    for (int o = 0; o < out; ++o) {
        int first = 0;
        weights.clear();
        if (!smooth) {
            first = std::min(in - 1, int((o + 0.5) * in / out));
            weights.push_back(1);
        } else if (out <= in) {
            // The source span [from, to) this pixel covers.
            const double scale = double(in) / out;
            const double from = o * scale;
            const double to = std::min(double(in), from + scale);
            first = int(from);
            const int end = std::min(in, int(std::ceil(to)));
            for (int i = first; i < end; ++i) {
                weights.push_back((std::min(to, i + 1.0) - std::max(from, double(i))) / scale);
            }
        } else {
            const double at = std::clamp((o + 0.5) * in / out - 0.5, 0.0, double(in - 1));
            first = int(at);
            const double fraction = at - first;
            weights.push_back(1 - fraction);
            if (fraction > 0) {
                weights.push_back(fraction);
            }
        }
        taps.first.push_back(first);
        taps.count.push_back(int(weights.size()));
        taps.offset.push_back(int(taps.weights.size()));
        // Rounded one by one, then the heaviest takes what rounding lost, so
        // a plain area keeps exactly its colour.
        std::int32_t sum = 0;
        std::size_t heaviest = taps.weights.size();
        for (const double weight : weights) {
            const auto fixed = std::int32_t(std::lround(weight * unitWeight));
            if (heaviest == taps.weights.size() || fixed > taps.weights[heaviest]) {
                heaviest = taps.weights.size();
            }
            taps.weights.push_back(fixed);
            sum += fixed;
        }
        taps.weights[heaviest] += unitWeight - sum;
    }
}

// How a source pixel's bytes are laid out: `step` of them, red, green and
// blue at these offsets (all three the one byte of a grey pixel).
struct Rgb888 {
    static constexpr int step = 3, red = 0, green = 1, blue = 2;
};
struct Rgb32 {
    static constexpr int step = 4, red = 2, green = 1, blue = 0;
};
struct Grey8 {
    static constexpr int step = 1, red = 0, green = 0, blue = 0;
};

// Every pixel between the passes has four channels: the source's bytes in
// their order, unused ones zero.
constexpr int channels = 4;

// One source row scaled across into `out`, four channels a pixel.
template <typename Layout>
void scaleRowAcross(const uchar* row, const Taps& columns, std::int16_t* out)
{
    const std::size_t width = columns.first.size();
    for (std::size_t x = 0; x < width; ++x, out += channels) {
        const uchar* pixel = row + std::ptrdiff_t(columns.first[x]) * Layout::step;
        const std::int32_t* weight = columns.weights.data() + columns.offset[x];
        const int count = columns.count[x];
#if defined(__SSE2__)
        // Two source pixels at a time: their channels interleaved, each
        // pair multiplied by its two weights and added in one step.
        const auto lanes = [](const uchar* at) {
            // Three bytes are put together in registers: a copy through
            // memory of fewer bytes than it is read back with stalls.
            std::uint32_t bytes = at[0];
            if constexpr (Layout::step == 4) {
                std::memcpy(&bytes, at, 4);
            } else if constexpr (Layout::step == 3) {
                bytes |= std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16;
            }
            return _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(bytes)), _mm_setzero_si128());
        };
        __m128i sum = _mm_setzero_si128();
        int k = 0;
        for (; k + 1 < count; k += 2, pixel += 2 * Layout::step) {
            const __m128i pair = _mm_unpacklo_epi16(lanes(pixel), lanes(pixel + Layout::step));
            sum = _mm_add_epi32(sum, _mm_madd_epi16(pair, _mm_set1_epi32(weight[k] | (weight[k + 1] << 16))));
        }
        if (k < count) {
            const __m128i single = _mm_unpacklo_epi16(lanes(pixel), _mm_setzero_si128());
            sum = _mm_add_epi32(sum, _mm_madd_epi16(single, _mm_set1_epi32(weight[k])));
        }
        sum = _mm_srli_epi32(_mm_add_epi32(sum, _mm_set1_epi32(1 << (betweenPassesShift - 1))), betweenPassesShift);
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out), _mm_packs_epi32(sum, sum));
#else
        std::int32_t sums[channels] = {};
        for (int k = 0; k < count; ++k, pixel += Layout::step) {
            for (int c = 0; c < Layout::step; ++c) {
                sums[c] += weight[k] * pixel[c];
            }
        }
        for (int c = 0; c < channels; ++c) {
            out[c] = std::int16_t((sums[c] + (1 << (betweenPassesShift - 1))) >> betweenPassesShift);
        }
#endif
    }
}

// sums[v] = the weighted sum of value v of `count` rows, `stride` apart.
void sumRows(const std::int16_t* first, std::ptrdiff_t stride, const std::int32_t* weight, int count,
             std::size_t values, std::int32_t* sums)
{
    std::size_t v = 0;
#if defined(__SSE2__)
    // Eight values of two rows at a time, interleaved and multiplied by the
    // rows' two weights in one step.
    for (; v + 8 <= values; v += 8) {
        __m128i low = _mm_setzero_si128();
        __m128i high = _mm_setzero_si128();
        const std::int16_t* row = first + v;
        int k = 0;
        for (; k < count; k += 2, row += 2 * stride) {
            const bool pair = k + 1 < count;
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
            const __m128i b = pair ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + stride)) : _mm_setzero_si128();
            const __m128i weights = _mm_set1_epi32(weight[k] | ((pair ? weight[k + 1] : 0) << 16));
            low = _mm_add_epi32(low, _mm_madd_epi16(_mm_unpacklo_epi16(a, b), weights));
            high = _mm_add_epi32(high, _mm_madd_epi16(_mm_unpackhi_epi16(a, b), weights));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + v), low);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(sums + v + 4), high);
    }
#endif
    for (; v < values; ++v) {
        std::int32_t sum = 0;
        for (int k = 0; k < count; ++k) {
            sum += weight[k] * first[std::ptrdiff_t(k) * stride + std::ptrdiff_t(v)];
        }
        sums[v] = sum;
    }
}

// Where row `y` of the scaled picture lands in the target, and how far
// apart its pixels are there, for a picture of `size` turned `quarters`
// quarter turns clockwise with its top left at `at`.
struct RowPlacement {
    QRgb* start;
    std::ptrdiff_t step;
};

RowPlacement placeRow(QImage& target, QPoint at, QSize size, int quarters, int y)
{
    const std::ptrdiff_t line = target.bytesPerLine() / std::ptrdiff_t(sizeof(QRgb));
    const auto pixel = [&](int column, int row) {
        return reinterpret_cast<QRgb*>(target.scanLine(at.y() + row)) + at.x() + column;
    };
    switch (quarters) {
    case 1: // a row becomes a column, read downwards, at the right
        return {pixel(size.height() - 1 - y, 0), line};
    case 2:
        return {pixel(size.width() - 1, size.height() - 1 - y), -1};
    case 3:
        return {pixel(y, size.width() - 1), -line};
    default:
        return {pixel(0, y), 1};
    }
}

// Scales the source rows across, then each row of the result down from the
// rows it covers.
template <typename Layout>
void scaleLaidOut(const QImage& source, QSize size, int quarters, bool smooth, QImage& target, QPoint at)
{
    thread_local Taps columns;
    thread_local Taps rows;
    fillTaps(columns, source.width(), size.width(), smooth);
    fillTaps(rows, source.height(), size.height(), smooth);
    const std::size_t rowValues = std::size_t(size.width()) * channels;
    thread_local std::vector<std::int16_t> across;
    thread_local std::vector<std::int32_t> sums;
    across.resize(std::size_t(source.height()) * rowValues);
    sums.resize(rowValues);
    // Only the source rows some result row takes: the nearest pixel skips
    // the rest.
    thread_local std::vector<bool> taken;
    taken.assign(std::size_t(source.height()), false);
    for (std::size_t row = 0; row < rows.first.size(); ++row) {
        std::fill_n(taken.begin() + rows.first[row], rows.count[row], true);
    }
    for (int y = 0; y < source.height(); ++y) {
        if (taken[std::size_t(y)]) {
            scaleRowAcross<Layout>(source.constScanLine(y), columns, across.data() + std::size_t(y) * rowValues);
        }
    }
    const std::int32_t half = 1 << (finalShift - 1);
    for (int y = 0; y < size.height(); ++y) {
        const auto row = std::size_t(y);
        sumRows(across.data() + std::size_t(rows.first[row]) * rowValues, std::ptrdiff_t(rowValues),
                rows.weights.data() + rows.offset[row], rows.count[row], rowValues, sums.data());
        const RowPlacement placed = placeRow(target, at, size, quarters, y);
        QRgb* out = placed.start;
        for (const std::int32_t* sum = sums.data(); sum != sums.data() + rowValues; sum += channels, out += placed.step) {
            const auto red = std::uint32_t((sum[Layout::red] + half) >> finalShift);
            const auto green = std::uint32_t((sum[Layout::green] + half) >> finalShift);
            const auto blue = std::uint32_t((sum[Layout::blue] + half) >> finalShift);
            *out = 0xff000000u | (red << 16) | (green << 8) | blue;
        }
    }
}

} // namespace

bool scalesOpaque(const QImage& image)
{
    switch (image.format()) {
    case QImage::Format_RGB888:
    case QImage::Format_RGB32:
    case QImage::Format_Grayscale8:
        return true;
    default:
        return false;
    }
}

void scaleOpaqueInto(const QImage& source, QSize size, int quarters, bool smooth, QImage& target, QPoint at)
{
    if (source.isNull() || size.isEmpty()) {
        return;
    }
    quarters = ((quarters % 4) + 4) % 4;
    switch (source.format()) {
    case QImage::Format_RGB888:
        scaleLaidOut<Rgb888>(source, size, quarters, smooth, target, at);
        break;
    case QImage::Format_RGB32:
        scaleLaidOut<Rgb32>(source, size, quarters, smooth, target, at);
        break;
    case QImage::Format_Grayscale8:
        scaleLaidOut<Grey8>(source, size, quarters, smooth, target, at);
        break;
    default:
        break;
    }
}

} // namespace pivra
