// The area-averaging vector row worker, written once for every level and channel count and included
// only by the level units (row_workers_<level>.cpp), each of which compiles it for its own
// instruction set. Everything here has internal linkage, so that no level's copy of a function can
// stand in for another's at link time.
//
// Lanes are output rows. A group of kLanes output rows is computed together over chunks of output
// columns: for each row tap t (lane l's t-th source row, or a zero weight past its last one), the
// lanes' source rows are transposed into a strip (per source column and channel, one value per
// lane), and each output column of the chunk adds its column taps, in ascending order, to its sums.
// So every pixel sees its taps in the scalar worker's order: rows ascending, then columns ascending.
// A zero-weight tap leaves a sum's bits as they are (a sum starts at +0 and never becomes -0).
//
// Each tap is the scalar worker's accumulate(): sum = single(double(value) x weight + sum), with
// weight the single-precision product of the column and row weights. Two ways compute it:
// - ExactTaps: that formula in double lanes; the same operations as the scalar worker, always exact.
// - Isa::fused: one single-precision fused multiply-add, taken per group of rows and output column
//   where the plan's least weights prove it gives the same bits (the CPU's fused path in
//   plan/arithmetic.h).
//
// A job by the device's rule (AreaRule::device) takes each tap as one single-precision fused
// multiply-add and adds the half in single when storing. Levels with a fused multiply-add do exactly
// that; SSE2 computes it in double where the same condition makes that exact, and lane by lane with
// the library's fused multiply-add elsewhere.
#pragma once

#include <immintrin.h>

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "cpu/vector_ops.h"
// Only its constants are used here: a function of it called here would be compiled for this level.
#include "plan/arithmetic.h"

namespace {

// The ways to take one tap of N lanes. Each keeps the sums between taps as its Sum, entered from and
// left to the single-precision sums of memory once per output column.

// Sums kept as they are in memory, in single precision.
template <int N>
struct SingleSums {
    using Floats = typename VectorTypes<N>::Floats;
    using Sum = Floats;
    static void enter(Sum& sum, Floats from) { sum = from; }
    static Floats leave(const Sum& sum) { return sum; }
};

// As the scalar worker's accumulate(): value x weight + sum in double, rounded to single.
template <int N>
struct ExactTaps : SingleSums<N> {
    using typename SingleSums<N>::Floats;
    using typename SingleSums<N>::Sum;
    static void tap(Sum& sum, Floats value, Floats weight)
    {
        using Doubles = typename VectorTypes<N>::Doubles;
        const Doubles product = __builtin_convertvector(value, Doubles) * __builtin_convertvector(weight, Doubles);
        sum = __builtin_convertvector(product + __builtin_convertvector(sum, Doubles), Floats);
    }
};

// The same for four lanes (SSE2, where every tap is exact), the sums kept widened to double between
// taps so that only each tap's rounding lies on their chain; in intrinsics, as GCC takes vectors of
// two floats apart lane by lane.
template <>
struct ExactTaps<4> {
    using Floats = VectorTypes<4>::Floats;
    struct Sum {
        __m128d low, high;
    };
    static __m128d low_wide(__m128 v) { return _mm_cvtps_pd(v); }
    static __m128d high_wide(__m128 v) { return _mm_cvtps_pd(_mm_movehl_ps(v, v)); }
    static __m128d rounded(__m128d v) { return _mm_cvtps_pd(_mm_cvtpd_ps(v)); }
    static void enter(Sum& sum, Floats from)
    {
        sum.low = low_wide(from);
        sum.high = high_wide(from);
    }
    static Floats leave(const Sum& sum) { return _mm_movelh_ps(_mm_cvtpd_ps(sum.low), _mm_cvtpd_ps(sum.high)); }
    static void tap(Sum& sum, Floats value, Floats weight)
    {
        sum.low = rounded(_mm_add_pd(_mm_mul_pd(low_wide(value), low_wide(weight)), sum.low));
        sum.high = rounded(_mm_add_pd(_mm_mul_pd(high_wide(value), high_wide(weight)), sum.high));
    }
};

// As device_accumulate(): value x weight + sum rounded once, lane by lane.
template <int N>
struct FusedByLaneTaps : SingleSums<N> {
    using typename SingleSums<N>::Floats;
    using typename SingleSums<N>::Sum;
    static void tap(Sum& sum, Floats value, Floats weight)
    {
        for (int i = 0; i < N; ++i) sum[i] = __builtin_fmaf(value[i], weight[i], sum[i]);
    }
};

// The level's own fused multiply-add over all lanes.
template <class Isa>
struct FusedTaps : SingleSums<Isa::kWidth> {
    using typename SingleSums<Isa::kWidth>::Floats;
    using typename SingleSums<Isa::kWidth>::Sum;
    static void tap(Sum& sum, Floats value, Floats weight) { sum = Isa::fused(value, weight, sum); }
};

// N lanes' sums as store_channel() (CPU rule, the half in double) or store_channel_single() (device
// rule, the half in single) take them before saturating: sum + 0.5, truncated toward zero. The sums
// are far inside the 32-bit range (below 2^17).
template <AreaRule kRule, int N>
inline typename VectorTypes<N>::Ints store_whole(typename VectorTypes<N>::Floats sum)
{
    using T = VectorTypes<N>;
    if constexpr (kRule == AreaRule::device)
        return __builtin_convertvector(sum + 0.5f, typename T::Ints);
    else
        return __builtin_convertvector(__builtin_convertvector(sum, typename T::Doubles) + 0.5, typename T::Ints);
}

// Transposes 8 x 8 16-bit words in each 128-bit lane of Ops::V: word w of vector r becomes word r of
// vector w, by interleaving words, then pairs, then quadruples. Ops names the interleaves of V.
template <class Ops>
inline void transpose_8x8_by(typename Ops::V v[8])
{
    typename Ops::V a[8], b[8];
#pragma GCC unroll 4
    for (int i = 0; i < 8; i += 2) {
        a[i] = Ops::lo16(v[i], v[i + 1]);
        a[i + 1] = Ops::hi16(v[i], v[i + 1]);
    }
#pragma GCC unroll 4
    for (int i = 0; i < 4; ++i) {
        const int from = i / 2 * 4 + i % 2;  // a0 a1 a4 a5 with a2 a3 a6 a7
        b[2 * i] = Ops::lo32(a[from], a[from + 2]);
        b[2 * i + 1] = Ops::hi32(a[from], a[from + 2]);
    }
#pragma GCC unroll 4
    for (int i = 0; i < 4; ++i) {
        v[2 * i] = Ops::lo64(b[i], b[i + 4]);
        v[2 * i + 1] = Ops::hi64(b[i], b[i + 4]);
    }
}

struct Interleave128 {
    using V = __m128i;
    static V lo16(V x, V y) { return _mm_unpacklo_epi16(x, y); }
    static V hi16(V x, V y) { return _mm_unpackhi_epi16(x, y); }
    static V lo32(V x, V y) { return _mm_unpacklo_epi32(x, y); }
    static V hi32(V x, V y) { return _mm_unpackhi_epi32(x, y); }
    static V lo64(V x, V y) { return _mm_unpacklo_epi64(x, y); }
    static V hi64(V x, V y) { return _mm_unpackhi_epi64(x, y); }
};

inline void transpose_8x8(__m128i v[8]) { transpose_8x8_by<Interleave128>(v); }

#if defined(__AVX2__)
struct Interleave256 {
    using V = __m256i;
    static V lo16(V x, V y) { return _mm256_unpacklo_epi16(x, y); }
    static V hi16(V x, V y) { return _mm256_unpackhi_epi16(x, y); }
    static V lo32(V x, V y) { return _mm256_unpacklo_epi32(x, y); }
    static V hi32(V x, V y) { return _mm256_unpackhi_epi32(x, y); }
    static V lo64(V x, V y) { return _mm256_unpacklo_epi64(x, y); }
    static V hi64(V x, V y) { return _mm256_unpackhi_epi64(x, y); }
};

// The same on each 128-bit half: words 0-7 of the 8 vectors in the low halves, words 8-15 in the high.
inline void transpose_8x8_twice(__m256i v[8]) { transpose_8x8_by<Interleave256>(v); }
#endif

constexpr std::int32_t kChunkColumns = 128;  // output columns per chunk
constexpr std::int32_t kStripColumns = 256;  // source columns per strip

// Isa: kWidth, the float lanes of one register; widen(p), kWidth 16-bit values from p as floats;
// kFused, whether it has fused(value, weight, sum).
// kLanes: output rows per group, a multiple of 8 and of kWidth.
// kRule: the rounding rules of the taps and stores.
// kChannels: the samples of a pixel.
template <class Isa, std::int32_t kLanes, AreaRule kRule, std::int32_t kChannels>
class AreaWorker {
    static constexpr std::int32_t kWidth = Isa::kWidth;
    using Floats = typename VectorTypes<kWidth>::Floats;
    static_assert(kLanes % 8 == 0 && kLanes % kWidth == 0, "lanes come in transposes of 8 and whole registers");
    // Whether the rule's tap differs from the level's fastest way to compute it unless the pixel's
    // least weights allow it: the CPU rule on a level with a fused multiply-add, the device rule on
    // one without.
    static constexpr bool kConditional = (kRule == AreaRule::device) != Isa::kFused;

    // The taps where the least weights allow the fast way, or where the rule needs no condition.
    using ProvenTaps = std::conditional_t<Isa::kFused, FusedTaps<Isa>, ExactTaps<kWidth>>;
    // The taps elsewhere.
    using GeneralTaps = std::conditional_t<kRule == AreaRule::device, FusedByLaneTaps<kWidth>, ExactTaps<kWidth>>;

public:
    explicit AreaWorker(const RowJob& job) : job_(job) {}

    void run()
    {
        // Where the fast way depends on the weights, rows with small weights are grouped after the others.
        const std::int32_t passes = kConditional ? 2 : 1;
        const std::int32_t end = job_.first_row + job_.row_count;
        for (std::int32_t pass = 0; pass < passes; ++pass) {
            std::int32_t next = job_.first_row;
            for (;;) {
                std::int32_t rows[kLanes];
                std::int32_t count = 0;
                for (; next < end && count < kLanes; ++next) {
                    const bool small = job_.area_rows.least_weight[next] < kSmallRowWeight;
                    if (passes == 1 || small == (pass == 1)) rows[count++] = next;
                }
                if (count == 0) break;
                run_group(rows, count);
            }
        }
    }

private:
    // Output rows rows[0 .. count-1] (count 1 to kLanes); the lanes past count repeat the last row
    // and are not stored.
    void run_group(const std::int32_t* rows, std::int32_t count)
    {
        std::int32_t most_taps = 0;
        float least_weight = 1.0f;
        for (std::int32_t l = 0; l < kLanes; ++l) {
            const std::int32_t i = rows[smaller(l, count - 1)];
            lane_row_[l] = i;
            lane_first_[l] = job_.area_rows.first[i];
            lane_taps_[l] = larger(0, job_.area_rows.last[i] - job_.area_rows.first[i] + 1);
            lane_weights_[l] = job_.area_rows.tap_weight + job_.area_rows.tap_start[i];
            most_taps = larger(most_taps, lane_taps_[l]);
            if (job_.area_rows.least_weight[i] < least_weight) least_weight = job_.area_rows.least_weight[i];
        }
        for (std::int32_t j0 = 0; j0 < job_.dst_w;) {
            // As many output columns as fit in one strip (at least one), up to a chunk.
            const std::int32_t n0 = job_.area_columns.first[j0];
            std::int32_t n1 = job_.area_columns.last[j0];
            std::int32_t j1 = j0 + 1;
            for (; j1 < job_.dst_w && j1 - j0 < kChunkColumns && job_.area_columns.last[j1] - n0 < kStripColumns; ++j1)
                n1 = larger(n1, job_.area_columns.last[j1]);
            const std::int32_t words = kChannels * (j1 - j0);
            std::memset(sums_, 0, sizeof(float) * static_cast<std::size_t>((words + 7) / 8 * 8) * kLanes);
            for (std::int32_t t = 0; t < most_taps; ++t) {
                for (std::int32_t l = 0; l < kLanes; ++l) {
                    const bool tap = t < lane_taps_[l];
                    const std::int32_t k = lane_first_[l] + (tap ? t : 0);
                    row_weight_[l] = tap ? lane_weights_[l][t] : 0.0f;
                    source_row_[l] = reinterpret_cast<const unsigned char*>(
                        job_.src + static_cast<std::ptrdiff_t>(k) * job_.src_stride * kChannels);
                }
                // A column wider than a strip takes its taps strip by strip, still in ascending order.
                std::int32_t j_low = j0;
                for (std::int32_t p0 = n0; p0 <= n1; p0 += kStripColumns) {
                    const std::int32_t p1 = smaller(n1 + 1, p0 + kStripColumns);
                    build_strip(p0, p1);
                    while (j_low < j1 && job_.area_columns.last[j_low] < p0) ++j_low;
                    for (std::int32_t j = j_low; j < j1 && job_.area_columns.first[j] < p1; ++j) {
                        const std::int32_t a = larger(job_.area_columns.first[j], p0), b = smaller(job_.area_columns.last[j], p1 - 1);
                        if (a > b) continue;
                        const float* column_weights = job_.area_columns.tap_weight + job_.area_columns.tap_start[j] + (a - job_.area_columns.first[j]);
                        const bool proven =
                            !kConditional ||
                            static_cast<double>(least_weight) * job_.area_columns.least_weight[j] >= kLeastFusedWeight;
                        add_taps(sums_ + static_cast<std::ptrdiff_t>(j - j0) * kChannels * kLanes,
                                 strip_ + static_cast<std::ptrdiff_t>(a - p0) * kChannels * kLanes, column_weights,
                                 b - a + 1, proven);
                    }
                }
            }
            store_sums(j0, words, count);
            j0 = j1;
        }
    }

    // The lanes' source rows, source columns p0 .. p1-1, into strip_[word][lane] (word = kChannels x
    // column + channel, from p0).
    void build_strip(std::int32_t p0, std::int32_t p1)
    {
        const std::int32_t words = kChannels * (p1 - p0);
        const std::ptrdiff_t offset = static_cast<std::ptrdiff_t>(p0) * kPixelBytes;
        for (std::int32_t lane = 0; lane < kLanes; lane += 8) {
            // Local copies, which the strip's stores cannot alias, so they stay in registers.
            const unsigned char* rows[8];
            for (std::int32_t r = 0; r < 8; ++r) rows[r] = source_row_[lane + r] + offset;
            std::int16_t* out = strip_ + lane;
            std::int32_t w = 0;
#if defined(__AVX2__)
            for (; w + 16 <= words; w += 16) {
                __m256i v[8];
#pragma GCC unroll 8
                for (std::int32_t r = 0; r < 8; ++r) {
                    prefetch_ahead(rows[r] + 2 * w);
                    v[r] = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[r] + 2 * w));
                }
                transpose_8x8_twice(v);
#pragma GCC unroll 8
                for (std::int32_t k = 0; k < 8; ++k) {
                    store_lanes(out + static_cast<std::ptrdiff_t>(w + k) * kLanes, _mm256_castsi256_si128(v[k]));
                    store_lanes(out + static_cast<std::ptrdiff_t>(w + 8 + k) * kLanes, _mm256_extracti128_si256(v[k], 1));
                }
            }
#endif
            for (; w < words; w += 8) {
                const std::int32_t count = smaller(8, words - w);
                __m128i v[8];
#pragma GCC unroll 8
                for (std::int32_t r = 0; r < 8; ++r) {
                    prefetch_ahead(rows[r] + 2 * w);
                    v[r] = load_words(rows[r] + 2 * w, count);
                }
                transpose_8x8(v);
#pragma GCC unroll 8
                for (std::int32_t k = 0; k < 8; ++k) store_lanes(out + static_cast<std::ptrdiff_t>(w + k) * kLanes, v[k]);
            }
        }
    }

    // Eight or sixteen rows are read at once, more than the hardware's prefetch follows well.
    static void prefetch_ahead(const unsigned char* p) { prefetch(p, 512); }

    static void store_lanes(std::int16_t* p, __m128i v) { _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v); }

    // `count` column taps (strip columns from `values`, column weights from `column_weights`) of one
    // output column, added to its sums (per channel, kLanes lanes).
    void add_taps(float* sums, const std::int16_t* values, const float* column_weights, std::int32_t count,
                  bool proven)
    {
        if (proven)
            add_taps_by<ProvenTaps>(sums, values, column_weights, count);
        else
            add_taps_by<GeneralTaps>(sums, values, column_weights, count);
    }

    template <class Taps>
    void add_taps_by(float* sums, const std::int16_t* values, const float* column_weights, std::int32_t count)
    {
        for (std::int32_t u = 0; u < kLanes; u += kWidth) {
            typename Taps::Sum channel[kChannels];
#pragma GCC unroll 4
            for (std::int32_t c = 0; c < kChannels; ++c) Taps::enter(channel[c], load_vector<Floats>(sums + c * kLanes + u));
            const Floats row_weight = load_vector<Floats>(row_weight_ + u);
            const std::int16_t* v = values + u;
            for (std::int32_t m = 0; m < count; ++m, v += kChannels * kLanes) {
                const Floats w = row_weight * column_weights[m];  // the rounded product, as tap_weight()
#pragma GCC unroll 4
                for (std::int32_t c = 0; c < kChannels; ++c) Taps::tap(channel[c], Isa::widen(v + c * kLanes), w);
            }
#pragma GCC unroll 4
            for (std::int32_t c = 0; c < kChannels; ++c) store_vector(sums + c * kLanes + u, Taps::leave(channel[c]));
        }
    }

    // The chunk's sums (`words` words from output column j0) stored into the group's first `count`
    // rows.
    void store_sums(std::int32_t j0, std::int32_t words, std::int32_t count)
    {
        const std::ptrdiff_t offset = static_cast<std::ptrdiff_t>(j0) * kPixelBytes;
        for (std::int32_t lane = 0; lane < count; lane += 8) {
            const std::int32_t rows = smaller(8, count - lane);
            unsigned char* row[8];
            for (std::int32_t r = 0; r < rows; ++r)
                row[r] = reinterpret_cast<unsigned char*>(
                             job_.dst + static_cast<std::ptrdiff_t>(lane_row_[lane + r]) * job_.dst_stride * kChannels) +
                         offset;
            const float* in = sums_ + lane;
            std::int32_t w = 0;
#if defined(__AVX2__)
            for (; w + 16 <= words; w += 16) {
                __m256i v[8];
#pragma GCC unroll 8
                for (std::int32_t k = 0; k < 8; ++k)
                    v[k] = _mm256_set_m128i(stored_lanes(in + (w + 8 + k) * kLanes), stored_lanes(in + (w + k) * kLanes));
                transpose_8x8_twice(v);
                for (std::int32_t r = 0; r < rows; ++r)
                    _mm256_storeu_si256(reinterpret_cast<__m256i*>(row[r] + 2 * w), v[r]);
            }
#endif
            // The sums past `words` up to a multiple of 8 are zero, and not stored.
            for (; w < words; w += 8) {
                __m128i v[8];
#pragma GCC unroll 8
                for (std::int32_t k = 0; k < 8; ++k) v[k] = stored_lanes(in + (w + k) * kLanes);
                transpose_8x8(v);
                for (std::int32_t r = 0; r < rows; ++r) store_words(row[r] + 2 * w, v[r], smaller(8, words - w));
            }
        }
    }

    // Eight lanes' sums from `sums` as 16-bit values, by the rule's store: the pack saturates as
    // saturate_to_int16 does.
    static __m128i stored_lanes(const float* sums)
    {
        __m128i halves[2];
        if constexpr (kWidth >= 8) {
            using Eight = VectorTypes<8>;
            store_vector(halves, store_whole<kRule, 8>(load_vector<typename Eight::Floats>(sums)));
        } else {
            store_vector(halves, store_whole<kRule, kWidth>(load_vector<Floats>(sums)));
            store_vector(halves + 1, store_whole<kRule, kWidth>(load_vector<Floats>(sums + 4)));
        }
        return _mm_packs_epi32(halves[0], halves[1]);
    }

    static constexpr std::ptrdiff_t kPixelBytes = 2 * kChannels;

    const RowJob& job_;
    std::int32_t lane_row_[kLanes];
    std::int32_t lane_first_[kLanes];
    std::int32_t lane_taps_[kLanes];
    const float* lane_weights_[kLanes];
    alignas(64) float row_weight_[kLanes];  // the lanes' weights at the current row tap
    const unsigned char* source_row_[kLanes];
    alignas(64) float sums_[kChunkColumns * kChannels * kLanes];
    alignas(64) std::int16_t strip_[kStripColumns * kChannels * kLanes];
};

// The area worker of level Isa, kLanes rows at a time, for the job's rule and layout.
template <class Isa, std::int32_t kLanes>
void run_area_worker(const RowJob& job)
{
    with_channels(job.layout, [&](auto channels) {
        if (job.area_rule == AreaRule::device) {
            AreaWorker<Isa, kLanes, AreaRule::device, channels()> worker(job);
            worker.run();
        } else {
            AreaWorker<Isa, kLanes, AreaRule::cpu, channels()> worker(job);
            worker.run();
        }
    });
}

}  // namespace
