// The filter methods' vector row worker, written once for every level and included only by the level
// files (filter_worker_<level>.cpp), each compiled for its own instruction set; internal linkage
// throughout, as in lane_worker_impl.h. Every sum is exact in 32 bits (plan/arithmetic.h), so the
// order in which the vectors add the products changes nothing: the bytes are the reference's.
//
// Lanes are output rows, kLanes at a time (a register's 32-bit lanes), over runs of source columns:
// - the vertical pass computes each lane's intermediates, multiplying pairs of source rows,
//   interleaved word by word, by their pair of weights (pmaddwd) along the channel-interleaved row;
// - the intermediates are transposed into pairs: for each word w, every lane's (v[w], v[w + 3]),
//   the same channel of two neighbouring columns;
// - the horizontal pass takes, for each output word, one pmaddwd per pair of taps, with the pair of
//   weights broadcast to every lane;
// - the sums, rounded, are transposed back and stored into the lanes' rows.
#pragma once

#include <immintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "cpu/filter_workers.h"

namespace {

constexpr std::int32_t kRunColumns = 256;  // source columns per run of intermediates
constexpr std::int32_t kRunWords = 3 * kRunColumns;

inline std::int32_t smaller(std::int32_t a, std::int32_t b) { return a < b ? a : b; }

// The rules' filter_intermediate, for the few words past the last whole register.
#include "plan/device_rules_internal.inl"

// Isa: V, a register of kLanes 32-bit lanes (2 x kLanes 16-bit words); load, store, zero, set1_32,
// add32, madd (pmaddwd), unpack_low16 and unpack_high16 (within 128-bit lanes), packs32 (within
// 128-bit lanes, saturating), sra32 (by a count in a __m128i); make_pairs (8 words of each lane's
// intermediates, and of those 3 words on, into 8 registers of pairs) and store_words (8 registers of
// sums, one per output word, rounded, as 8 words of each lane's row).
template <class Isa>
class FilterWorker {
    using V = typename Isa::V;
    static constexpr std::int32_t kLanes = Isa::kLanes;
    static constexpr std::int32_t kWords = 2 * kLanes;  // 16-bit words per register

public:
    explicit FilterWorker(const FilterJob& job) : job_(job) {}

    void run()
    {
        const FilterTaps& columns = job_.columns;
        const std::int32_t end = job_.first_row + job_.row_count;
        for (std::int32_t i0 = job_.first_row; i0 < end; i0 += kLanes) {
            const std::int32_t rows = smaller(kLanes, end - i0);
            for (std::int32_t j0 = 0; j0 < job_.dst_w;) {
                // As many outputs as their windows' source columns fit in one run (the windows' first
                // columns never decrease).
                const std::int32_t from = columns.first[j0];
                const std::int32_t last = smaller(job_.dst_w, j0 + kRunColumns);
                const std::int32_t j1 = static_cast<std::int32_t>(
                    std::upper_bound(columns.first + j0 + 1, columns.first + last, from + kRunColumns - columns.taps) -
                    columns.first);
                const std::int32_t count = columns.first[j1 - 1] + columns.taps - from;
                // Lanes past the rows repeat the last one, and are not stored.
                for (std::int32_t l = 0; l < kLanes; ++l) vertical_pass(i0 + smaller(l, rows - 1), from, count, lanes_[l]);
                prefetch_new_rows(i0 + kLanes, end, from, count);
                build_pairs(3 * count);
                horizontal_pass(from, j0, j1, i0, rows);
                j0 = j1;
            }
        }
    }

private:
    // Asks for the source rows that the group of lanes from output row `next` reads and the group
    // before it does not, over source columns [from, from + count), so that they come from memory
    // while this group's runs go on: the runs alone are too short for the hardware to see a stream.
    void prefetch_new_rows(std::int32_t next, std::int32_t end, std::int32_t from, std::int32_t count) const
    {
        if (next >= end) return;
        const FilterTaps& rows = job_.rows;
        const std::int32_t first = std::max(rows.first[next - 1] + rows.taps, rows.first[next]);
        const std::int32_t last = rows.first[smaller(next + kLanes, end) - 1] + rows.taps;
        const std::int32_t bytes = count * static_cast<std::int32_t>(sizeof(PIXEL_YC));
        for (std::int32_t k = first; k < last; ++k) {
            const char* row = reinterpret_cast<const char*>(job_.src_pixels + static_cast<std::ptrdiff_t>(k) * job_.src_stride + from);
            for (std::int32_t b = 0; b < bytes; b += 64) _mm_prefetch(row + b, _MM_HINT_T0);
        }
    }

    // Output row `row`'s intermediates of source columns [from, from + count), interleaved, into
    // `out`, and three zero words after them (the pairs of the last column reach them, at weight 0).
    void vertical_pass(std::int32_t row, std::int32_t from, std::int32_t count, std::int16_t* out)
    {
        const FilterTaps& rows = job_.rows;
        const std::int16_t* weights = rows.weight + static_cast<std::ptrdiff_t>(row) * rows.taps;
        const std::int16_t* top =
            &job_.src_pixels[static_cast<std::ptrdiff_t>(rows.first[row]) * job_.src_stride + from].y;
        const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(job_.src_stride) * 3;
        // Each pair of taps: its two rows (an odd last tap pairs with itself at weight 0) and weights.
        const std::int32_t pairs = (rows.taps + 1) / 2;
        const std::int32_t* weight_pairs = rows.pairs + static_cast<std::ptrdiff_t>(row) * pairs;
        for (std::int32_t p = 0; p < pairs; ++p) {
            const std::int32_t t = 2 * p;
            tap_rows_[p][0] = top + t * stride;
            tap_rows_[p][1] = top + (t + 1 < rows.taps ? t + 1 : t) * stride;
            tap_weights_[p] = Isa::set1_32(weight_pairs[p]);
        }
        const std::int32_t shift = rows.weight_bits - 2;
        const std::int32_t words = count * 3;
        const std::int32_t whole = words / kWords * kWords;
        const Rounding rounding{Isa::set1_32(1 << (shift - 1)), _mm_cvtsi32_si128(shift)};
        // The common counts of pairs unrolled, their rows' pointers held in registers.
        switch (pairs) {
        case 1: vertical_words<1>(pairs, whole, rounding, out); break;
        case 2: vertical_words<2>(pairs, whole, rounding, out); break;
        case 3: vertical_words<3>(pairs, whole, rounding, out); break;
        case 4: vertical_words<4>(pairs, whole, rounding, out); break;
        default: vertical_words<0>(pairs, whole, rounding, out); break;
        }
        std::int32_t w = whole;
        for (; w < words; ++w) {
            std::int32_t sum = 0;
            for (std::int32_t t = 0; t < rows.taps; ++t) sum += weights[t] * top[t * stride + w];
            out[w] = filter_intermediate(sum, rows.weight_bits);
        }
        std::memset(out + words, 0, 3 * sizeof(std::int16_t));
    }

    struct Rounding {
        V half;
        __m128i shift;
    };

    // The sums of `count` pairs of taps into low and high, for words w .. w+kWords-1.
    static void add_pairs(const std::int16_t* const (*tap_rows)[2], const V* weights, std::int32_t count,
                          std::int32_t w, V& low, V& high)
    {
        for (std::int32_t p = 0; p < count; ++p) {
            const V a = Isa::load(tap_rows[p][0] + w), b = Isa::load(tap_rows[p][1] + w);
            low = Isa::add32(low, Isa::madd(Isa::unpack_low16(a, b), weights[p]));
            high = Isa::add32(high, Isa::madd(Isa::unpack_high16(a, b), weights[p]));
        }
    }

    // The intermediates of words [0, words), a whole number of registers, over kPairs pairs of taps
    // (0: any count, `pairs`, four at a time). With kPairs set, the rows and weights are copied to
    // locals, which the stores cannot alias, so that they stay in registers.
    template <std::int32_t kPairs>
    void vertical_words(std::int32_t pairs, std::int32_t words, const Rounding& rounding, std::int16_t* out) const
    {
        constexpr std::int32_t kLocal = kPairs > 0 ? kPairs : 1;
        const std::int16_t* tap_rows[kLocal][2];
        V weights[kLocal];
        for (std::int32_t p = 0; p < kPairs; ++p) {
            tap_rows[p][0] = tap_rows_[p][0];
            tap_rows[p][1] = tap_rows_[p][1];
            weights[p] = tap_weights_[p];
        }
        for (std::int32_t w = 0; w < words; w += kWords) {
            V low = rounding.half, high = rounding.half;
            if (kPairs > 0) {
                add_pairs(tap_rows, weights, kPairs, w, low, high);
            } else {
                std::int32_t p = 0;
                for (; p + 4 <= pairs; p += 4) add_pairs(tap_rows_ + p, tap_weights_ + p, 4, w, low, high);
                add_pairs(tap_rows_ + p, tap_weights_ + p, pairs - p, w, low, high);
            }
            Isa::store(out + w, Isa::packs32(Isa::sra32(low, rounding.shift), Isa::sra32(high, rounding.shift)));
        }
    }

    // pairs_[w] for every word w below `words`, in blocks of 8 (the last block's extra words read
    // the lanes' spare room).
    void build_pairs(std::int32_t words)
    {
        const std::int16_t* rows[kLanes];
        for (std::int32_t l = 0; l < kLanes; ++l) rows[l] = lanes_[l];
        for (std::int32_t w = 0; w < words; w += 8) Isa::make_pairs(rows, w, pairs_ + w * kLanes);
    }

    // The rounded sums of outputs j .. j+outputs-1 into sums_, over kPairs pairs of taps (0: any count,
    // `pairs`).
    template <std::int32_t kPairs>
    void horizontal_sums(std::int32_t pairs, std::int32_t j, std::int32_t outputs, std::int32_t from,
                         const Rounding& rounding)
    {
        const FilterTaps& columns = job_.columns;
        const std::int32_t count = kPairs > 0 ? kPairs : pairs;
        for (std::int32_t o = 0; o < outputs; ++o) {
            const std::int32_t* weight_pairs = columns.pairs + static_cast<std::ptrdiff_t>(j + o) * count;
            const std::int32_t* window = pairs_ + 3 * (columns.first[j + o] - from) * kLanes;
            V y = rounding.half, cb = rounding.half, cr = rounding.half;
            for (std::int32_t p = 0; p < count; ++p, window += 6 * kLanes) {
                const V weight = Isa::set1_32(weight_pairs[p]);
                y = Isa::add32(y, Isa::madd(Isa::load(window), weight));
                cb = Isa::add32(cb, Isa::madd(Isa::load(window + kLanes), weight));
                cr = Isa::add32(cr, Isa::madd(Isa::load(window + 2 * kLanes), weight));
            }
            sums_[3 * o] = Isa::sra32(y, rounding.shift);
            sums_[3 * o + 1] = Isa::sra32(cb, rounding.shift);
            sums_[3 * o + 2] = Isa::sra32(cr, rounding.shift);
        }
    }

    // The outputs j0 .. j1-1 of the lanes' rows i0 .. i0+rows-1, whose source column `from` is word 0
    // of the pairs.
    void horizontal_pass(std::int32_t from, std::int32_t j0, std::int32_t j1, std::int32_t i0, std::int32_t rows)
    {
        const FilterTaps& columns = job_.columns;
        const std::int32_t shift = columns.weight_bits + 2;
        const std::int32_t pairs = (columns.taps + 1) / 2;
        const Rounding rounding{Isa::set1_32(1 << (shift - 1)), _mm_cvtsi32_si128(shift)};
        // 8 outputs at a time: 24 words, stored as three blocks of 8.
        for (std::int32_t j = j0; j < j1; j += 8) {
            const std::int32_t outputs = smaller(8, j1 - j);
            switch (pairs) {
            case 1: horizontal_sums<1>(pairs, j, outputs, from, rounding); break;
            case 2: horizontal_sums<2>(pairs, j, outputs, from, rounding); break;
            case 3: horizontal_sums<3>(pairs, j, outputs, from, rounding); break;
            case 4: horizontal_sums<4>(pairs, j, outputs, from, rounding); break;
            default: horizontal_sums<0>(pairs, j, outputs, from, rounding); break;
            }
            const std::int32_t words = 3 * outputs;
            for (std::int32_t k = words; k < 24; ++k) sums_[k] = Isa::zero();
            for (std::int32_t block = 0; block * 8 < words; ++block) {
                std::int16_t* row_words[kLanes];
                for (std::int32_t l = 0; l < rows; ++l)
                    row_words[l] = &job_.dst_pixels[static_cast<std::ptrdiff_t>(i0 + l) * job_.dst_stride + j].y + 8 * block;
                Isa::store_words(sums_ + 8 * block, row_words, rows, smaller(8, words - 8 * block));
            }
        }
    }

    const FilterJob& job_;
    // The pairs of taps of the output row at hand: their rows and weights.
    const std::int16_t* tap_rows_[kMaxFilterTaps / 2][2];
    V tap_weights_[kMaxFilterTaps / 2];
    V sums_[24];  // the rounded sums of 8 outputs' 24 words
    // Each lane's intermediates, with room for the three zero words and a block of 8 past them.
    alignas(64) std::int16_t lanes_[kLanes][kRunWords + 16];
    // For word w, lane l: the pair (v[w], v[w + 3]) at pairs_[w * kLanes + l].
    alignas(64) std::int32_t pairs_[(kRunWords + 8) * kLanes];
};

// Steps the levels share.

// 8 words from p, 8 from p + 3, as 8 pairs in two registers (words 0-3, 4-7).
inline void pairs_of_8(const std::int16_t* p, __m128i& low, __m128i& high)
{
    const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i y = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 3));
    low = _mm_unpacklo_epi16(x, y);
    high = _mm_unpackhi_epi16(x, y);
}

// Transposes 4 x 4 32-bit lanes: lane j of v[i] becomes lane i of v[j].
inline void transpose_4x4(__m128i v[4])
{
    const __m128i a = _mm_unpacklo_epi32(v[0], v[1]), b = _mm_unpackhi_epi32(v[0], v[1]);
    const __m128i c = _mm_unpacklo_epi32(v[2], v[3]), d = _mm_unpackhi_epi32(v[2], v[3]);
    v[0] = _mm_unpacklo_epi64(a, c);
    v[1] = _mm_unpackhi_epi64(a, c);
    v[2] = _mm_unpacklo_epi64(b, d);
    v[3] = _mm_unpackhi_epi64(b, d);
}

// `count` (1 to 8) words of `words` to p.
inline void store_8_words(std::int16_t* p, __m128i words, std::int32_t count)
{
    if (count == 8)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), words);
    else
        std::memcpy(p, &words, static_cast<std::size_t>(count) * 2);
}

struct Sse2Lanes {
    using V = __m128i;
    static constexpr std::int32_t kLanes = 4;
    static V load(const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); }
    static void store(void* p, V v) { _mm_storeu_si128(static_cast<__m128i*>(p), v); }
    static V zero() { return _mm_setzero_si128(); }
    static V set1_32(std::int32_t x) { return _mm_set1_epi32(x); }
    static V add32(V a, V b) { return _mm_add_epi32(a, b); }
    static V madd(V a, V b) { return _mm_madd_epi16(a, b); }
    static V unpack_low16(V a, V b) { return _mm_unpacklo_epi16(a, b); }
    static V unpack_high16(V a, V b) { return _mm_unpackhi_epi16(a, b); }
    static V packs32(V a, V b) { return _mm_packs_epi32(a, b); }
    static V sra32(V a, __m128i count) { return _mm_sra_epi32(a, count); }

    static void make_pairs(const std::int16_t* const rows[4], std::int32_t w, std::int32_t* out)
    {
        __m128i low[4], high[4];
        for (int l = 0; l < 4; ++l) pairs_of_8(rows[l] + w, low[l], high[l]);
        transpose_4x4(low);
        transpose_4x4(high);
        for (int k = 0; k < 4; ++k) {
            store(out + 4 * k, low[k]);
            store(out + 4 * (k + 4), high[k]);
        }
    }

    static void store_words(V sums[8], std::int16_t* const rows[4], std::int32_t row_count, std::int32_t count)
    {
        transpose_4x4(sums);
        transpose_4x4(sums + 4);
        for (std::int32_t l = 0; l < row_count; ++l) store_8_words(rows[l], _mm_packs_epi32(sums[l], sums[l + 4]), count);
    }
};

#if defined(__AVX2__)
// 256-bit registers, 8 lanes; also the AVX-512 level's, compiled for it.
struct Avx2Lanes {
    using V = __m256i;
    static constexpr std::int32_t kLanes = 8;
    static V load(const void* p) { return _mm256_loadu_si256(static_cast<const __m256i*>(p)); }
    static void store(void* p, V v) { _mm256_storeu_si256(static_cast<__m256i*>(p), v); }
    static V zero() { return _mm256_setzero_si256(); }
    static V set1_32(std::int32_t x) { return _mm256_set1_epi32(x); }
    static V add32(V a, V b) { return _mm256_add_epi32(a, b); }
    static V madd(V a, V b) { return _mm256_madd_epi16(a, b); }
    static V unpack_low16(V a, V b) { return _mm256_unpacklo_epi16(a, b); }
    static V unpack_high16(V a, V b) { return _mm256_unpackhi_epi16(a, b); }
    static V packs32(V a, V b) { return _mm256_packs_epi32(a, b); }
    static V sra32(V a, __m128i count) { return _mm256_sra_epi32(a, count); }

    // Transposes 8 x 8 32-bit lanes: lane j of v[i] becomes lane i of v[j].
    static void transpose_8x8(V v[8])
    {
        V t[8], u[8];
        for (int i = 0; i < 8; i += 2) {
            t[i] = _mm256_unpacklo_epi32(v[i], v[i + 1]);
            t[i + 1] = _mm256_unpackhi_epi32(v[i], v[i + 1]);
        }
        for (int i = 0; i < 8; i += 4) {
            u[i] = _mm256_unpacklo_epi64(t[i], t[i + 2]);
            u[i + 1] = _mm256_unpackhi_epi64(t[i], t[i + 2]);
            u[i + 2] = _mm256_unpacklo_epi64(t[i + 1], t[i + 3]);
            u[i + 3] = _mm256_unpackhi_epi64(t[i + 1], t[i + 3]);
        }
        for (int i = 0; i < 4; ++i) {
            v[i] = _mm256_permute2x128_si256(u[i], u[i + 4], 0x20);
            v[i + 4] = _mm256_permute2x128_si256(u[i], u[i + 4], 0x31);
        }
    }

    static void make_pairs(const std::int16_t* const rows[8], std::int32_t w, std::int32_t* out)
    {
        V v[8];
        for (int l = 0; l < 8; ++l) {
            __m128i low, high;
            pairs_of_8(rows[l] + w, low, high);
            v[l] = _mm256_set_m128i(high, low);
        }
        transpose_8x8(v);
        for (int k = 0; k < 8; ++k) store(out + 8 * k, v[k]);
    }

    static void store_words(V sums[8], std::int16_t* const rows[8], std::int32_t row_count, std::int32_t count)
    {
        transpose_8x8(sums);
        for (std::int32_t l = 0; l < row_count; l += 2) {
            // Rows l and l+1: packed within 128-bit lanes, then each row's 8 words put together.
            const V packed = _mm256_permute4x64_epi64(_mm256_packs_epi32(sums[l], sums[l + 1]), 0xd8);
            store_8_words(rows[l], _mm256_castsi256_si128(packed), count);
            if (l + 1 < row_count) store_8_words(rows[l + 1], _mm256_extracti128_si256(packed, 1), count);
        }
    }
};
#endif

template <class Isa>
void run_filter_worker(const FilterJob& job)
{
    FilterWorker<Isa> worker(job);
    worker.run();
}

}  // namespace
