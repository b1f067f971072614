// The filter methods' vector row worker, written once for every level and channel count and included
// only by the level units (row_workers_<level>.cpp), each compiled for its own instruction set;
// internal linkage throughout, as in area_worker_impl.h. Every sum is exact in 32 bits (plan/arithmetic.h), so the
// order in which the vectors add the products changes nothing: the bytes are the reference's.
//
// Lanes are output rows, kLanes at a time (a register's 32-bit lanes), over runs of source columns:
// - the vertical pass computes each lane's intermediates, multiplying pairs of source rows,
//   interleaved word by word, by their pair of weights (pmaddwd) along the channel-interleaved row;
// - the intermediates are transposed into pairs: for each word w, every lane's (v[w], v[w + C]),
//   the same channel of two neighbouring columns (C channels a pixel);
// - the horizontal pass takes, for each output word, one pmaddwd per pair of taps, with the pair of
//   weights broadcast to every lane;
// - the sums, rounded, are transposed back and stored into the lanes' rows.
// A plane (one channel) takes the pairs of its even words from the vertical pass's registers, one
// 32-bit transpose, and makes each odd word's from its neighbours' by shifts, with no shuffle.
// The lanes take turns register by register in the vertical pass, so that the rows they share stay in
// the nearest cache, and the rows are asked for ahead of use.
#pragma once

#include <immintrin.h>

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "cpu/vector_ops.h"

namespace {

constexpr std::int32_t kLineWords = 32;    // 16-bit words per cache line
constexpr std::int32_t kAheadWords = 256;  // how far ahead along a source row the vertical pass asks for it

// Calls step with std::integral_constant<std::int32_t, pairs> for the counts of pairs of taps that
// the filters mostly have (up to a Lanczos-3 reduction by 2.5), to unroll them, and with 0 for any
// other count.
template <class Step>
inline void with_unrolled_pairs(std::int32_t pairs, Step step)
{
    using std::integral_constant;
    switch (pairs) {
    case 1: step(integral_constant<std::int32_t, 1>()); break;
    case 2: step(integral_constant<std::int32_t, 2>()); break;
    case 3: step(integral_constant<std::int32_t, 3>()); break;
    case 4: step(integral_constant<std::int32_t, 4>()); break;
    case 5: step(integral_constant<std::int32_t, 5>()); break;
    case 6: step(integral_constant<std::int32_t, 6>()); break;
    case 7: step(integral_constant<std::int32_t, 7>()); break;
    case 8: step(integral_constant<std::int32_t, 8>()); break;
    default: step(integral_constant<std::int32_t, 0>()); break;
    }
}

// The rules' filter_intermediate, for the words of a row's end past its last whole register.
#include "plan/portable_rules_local.inl"

// Isa: V, a register of kLanes 32-bit lanes (2 x kLanes 16-bit words); load, store, zero, set1_32,
// add32, madd (pmaddwd), unpack_low and unpack_high of 16-, 32- and 64-bit parts and packs32
// (saturating), all within 128-bit parts, and sra32 (by a count in a __m128i); load_lanes (8 words of
// 4 lanes per 128-bit part: lanes 0-3, then 4-7) and store_rows (the reverse, into the rows' words).
// kChannels: the samples of a pixel.
template <class Isa, std::int32_t kChannels>
class FilterWorker {
    using V = typename Isa::V;
    static constexpr std::int32_t kLanes = Isa::kLanes;
    static constexpr std::int32_t kWords = 2 * kLanes;  // 16-bit words per register
    static constexpr bool kPlane = kChannels == 1;
    // Source columns per run of intermediates: the same room (about 75 KiB) at every level and layout,
    // but a plane's, which keeps only pairs (about 66 KiB), makes runs as long as a 1080p row: fewer,
    // longer streams of source rows for the vertical pass.
    static constexpr std::int32_t kRunWords = (kPlane ? 16384 : 12288) / kLanes;
    static constexpr std::int32_t kRunColumns = kRunWords / kChannels;
    static constexpr std::int32_t kPixelBytes = 2 * kChannels;

public:
    explicit FilterWorker(const RowJob& job) : job_(job) {}

    void run()
    {
        const FilterTaps& columns = job_.filter_columns;
        const std::int32_t end = job_.first_row + job_.row_count;
        for (std::int32_t i0 = job_.first_row; i0 < end; i0 += kLanes) {
            const std::int32_t rows = smaller(kLanes, end - i0);
            start_group(i0, rows);
            for (std::int32_t j0 = 0; j0 < job_.dst_w;) {
                const std::int32_t j1 = filter_run_end(columns, job_.dst_w, j0, kRunColumns);
                const std::int32_t from = columns.first[j0];
                const std::int32_t count = columns.first[j1 - 1] + columns.taps - from;
                vertical_pass(from, count);
                prefetch_new_rows(i0 + kLanes, end, from, count);
                if constexpr (!kPlane) build_pairs(kChannels * count);
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
        const FilterTaps& rows = job_.filter_rows;
        const std::int32_t first = larger(rows.first[next - 1] + rows.taps, rows.first[next]);
        const std::int32_t last = rows.first[smaller(next + kLanes, end) - 1] + rows.taps;
        const std::int32_t bytes = count * kPixelBytes;
        for (std::int32_t k = first; k < last; ++k) {
            const std::int16_t* row = job_.src + (static_cast<std::ptrdiff_t>(k) * job_.src_stride + from) * kChannels;
            for (std::int32_t b = 0; b < bytes; b += 2 * kLineWords) prefetch(row, b);
        }
    }

    // The lanes of output rows i0 .. i0+rows-1 (lanes past the rows repeat the last one): each one's
    // first source row, its pairs of weights, and the rows they read together.
    void start_group(std::int32_t i0, std::int32_t rows)
    {
        const FilterTaps& taps = job_.filter_rows;
        const std::int32_t pairs = (taps.taps + 1) / 2;
        for (std::int32_t l = 0; l < kLanes; ++l) {
            const std::int32_t row = i0 + smaller(l, rows - 1);
            lane_rows_[l] = job_.src + static_cast<std::ptrdiff_t>(taps.first[row]) * job_.src_stride * kChannels;
            const std::int32_t* weight_pairs = taps.pairs + static_cast<std::ptrdiff_t>(row) * pairs;
            for (std::int32_t p = 0; p < pairs; ++p) lane_weights_[l][p] = Isa::set1_32(weight_pairs[p]);
            lane_taps_[l] = taps.weight + static_cast<std::ptrdiff_t>(row) * taps.taps;
        }
        rows_read_ = taps.first[i0 + rows - 1] - taps.first[i0] + taps.taps;
    }

    // The lanes' intermediates of source columns [from, from + count), interleaved, into lanes_, and
    // a pixel's zero words after them (the pairs of the last column reach them, at weight 0). The lanes
    // take turns register by register, so that the source rows they share are read again while in the
    // nearest cache.
    void vertical_pass(std::int32_t from, std::int32_t count)
    {
        const FilterTaps& taps = job_.filter_rows;
        const std::int32_t pairs = (taps.taps + 1) / 2;
        const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(job_.src_stride) * kChannels;
        const std::int32_t shift = taps.weight_bits - 2;
        const std::int32_t words = count * kChannels;
        // Whole registers, past the run's end too where the columns any run reads go on.
        const std::int32_t readable =
            kChannels * (job_.filter_columns.first[job_.dst_w - 1] + job_.filter_columns.taps - from);
        const std::int32_t whole = smaller((words + kWords - 1) / kWords * kWords, readable / kWords * kWords);
        const Rounding rounding{Isa::set1_32(1 << (shift - 1)), _mm_cvtsi32_si128(shift)};
        // The second row of the last pair: the next row, or for an odd count of taps the same one.
        const std::ptrdiff_t last_step = taps.taps % 2 == 0 ? stride : 0;
        const std::int32_t at = kChannels * from;  // the run's first word in a row
        with_unrolled_pairs(pairs, [&](auto unrolled) {
            vertical_words<unrolled()>(pairs, at, whole, stride, last_step, rounding);
        });
        // A plane keeps in lanes_ only the words past its whole registers, from lanes_[l][0], and
        // their even pairs reach the word after the zero one.
        const std::int32_t base = kPlane ? smaller(whole, words) : 0;
        constexpr std::int32_t kZeroWords = kPlane ? 3 : kChannels;
        for (std::int32_t l = 0; l < kLanes; ++l) {
            for (std::int32_t w = whole; w < words; ++w) {
                std::int32_t sum = 0;
                for (std::int32_t t = 0; t < taps.taps; ++t) sum += lane_taps_[l][t] * lane_rows_[l][t * stride + at + w];
                lanes_[l][w - base] = filter_intermediate(sum, taps.weight_bits);
            }
            std::memset(lanes_[l] + words - base, 0, 2 * kZeroWords);
            if constexpr (kPlane)
                for (std::int32_t w = whole; w <= words + 1; w += 2)
                    std::memcpy(pairs_ + w * kLanes + l, lanes_[l] + w - base, sizeof(std::int32_t));
        }
        // The odd pairs the registers' loop left: from the last whole register's before's last on.
        if constexpr (kPlane) build_odd_pairs(larger(1, whole - kWords - 1), words);
    }

    struct Rounding {
        V half;
        __m128i shift;
    };

    // Every lane's intermediates of the run's words [0, words) (from word `at` of the rows), a whole
    // number of registers, over kPairs pairs of taps (0: any count, `pairs`).
    template <std::int32_t kPairs>
    void vertical_words(std::int32_t pairs, std::int32_t at, std::int32_t words, std::ptrdiff_t stride,
                        std::ptrdiff_t last_step, const Rounding& rounding)
    {
        const std::int32_t count = kPairs > 0 ? kPairs : pairs;
        V plane_words[kLanes];
        for (std::int32_t w = 0; w < words; w += kWords) {
            // Every row the lanes read, asked for a little ahead, once per cache line.
            if (w % kLineWords == 0)
                for (std::int32_t k = 0; k < rows_read_; ++k)
                    prefetch(lane_rows_[0] + k * stride, 2 * static_cast<std::ptrdiff_t>(at + w + kAheadWords));
            for (std::int32_t l = 0; l < kLanes; ++l) {
                const V* weights = lane_weights_[l];
                V low = rounding.half, high = rounding.half;
                for (std::int32_t p = 0; p < count; ++p) {
                    const std::int16_t* row = lane_rows_[l] + 2 * p * stride + at + w;
                    const V a = Isa::load(row), b = Isa::load(row + (p + 1 < count ? stride : last_step));
                    low = Isa::add32(low, Isa::madd(Isa::unpack_low16(a, b), weights[p]));
                    high = Isa::add32(high, Isa::madd(Isa::unpack_high16(a, b), weights[p]));
                }
                const V intermediates = Isa::packs32(Isa::sra32(low, rounding.shift), Isa::sra32(high, rounding.shift));
                if constexpr (kPlane)
                    plane_words[l] = intermediates;
                else
                    Isa::store(lanes_[l] + w, intermediates);
            }
            if constexpr (kPlane) {
                store_even_pairs(plane_words, w);
                // The odd pairs up to the register before's last but one, while their words are near.
                if (w > 0) build_odd_pairs(larger(1, w - kWords - 1), w - 3);
            }
        }
    }

    // A plane's pairs of the even words of the lanes' registers from word w: the pair of word
    // w + 8h + 2k of lanes 4g .. 4g+3 is dword k of 128-bit part h of words[4g + k] once the lanes
    // are transposed 4 by 4.
    void store_even_pairs(V words[kLanes], std::int32_t w)
    {
        for (std::int32_t g = 0; g < kLanes; g += 4) transpose_4x4(words + g);
        for (std::int32_t part = 0; part < kLanes / 4; ++part)
            for (std::int32_t k = 0; k < 4; ++k)
                for (std::int32_t g = 0; g < kLanes; g += 4)
                    Isa::store_part(pairs_ + (w + 8 * part + 2 * k) * kLanes + g, words[g + k], part);
    }

    // A plane's pairs of its odd words from `first` to `last`, each the high word of the pair before
    // and the low word of the one after.
    void build_odd_pairs(std::int32_t first, std::int32_t last)
    {
        for (std::int32_t w = first; w <= last; w += 2)
            Isa::store(pairs_ + w * kLanes,
                       Isa::high_low16(Isa::load(pairs_ + (w - 1) * kLanes), Isa::load(pairs_ + (w + 1) * kLanes)));
    }

    // pairs_[w] for every word w below `words`, in blocks of 8 (the last block's extra words read
    // the lanes' spare room).
    void build_pairs(std::int32_t words)
    {
        for (std::int32_t w = 0; w < words; w += 8) {
            // Each lane's 8 words from w and 8 from w + kChannels, interleaved into pairs: 4 words'
            // pairs in each of low and high, per 4 lanes; transposed, each word's pairs for every lane.
            V at[4], on[4], low[4], high[4];
            Isa::load_lanes(lanes_, w, at);
            Isa::load_lanes(lanes_, w + kChannels, on);
            for (int r = 0; r < 4; ++r) {
                low[r] = Isa::unpack_low16(at[r], on[r]);
                high[r] = Isa::unpack_high16(at[r], on[r]);
            }
            transpose_4x4(low);
            transpose_4x4(high);
            std::int32_t* out = pairs_ + w * kLanes;
            for (int k = 0; k < 4; ++k) {
                Isa::store(out + k * kLanes, low[k]);
                Isa::store(out + (k + 4) * kLanes, high[k]);
            }
        }
    }

    // Transposes 4 x 4 32-bit lanes within each 128-bit part: lane j of v[i] becomes lane i of v[j].
    static void transpose_4x4(V v[4])
    {
        const V a = Isa::unpack_low32(v[0], v[1]), b = Isa::unpack_high32(v[0], v[1]);
        const V c = Isa::unpack_low32(v[2], v[3]), d = Isa::unpack_high32(v[2], v[3]);
        v[0] = Isa::unpack_low64(a, c);
        v[1] = Isa::unpack_high64(a, c);
        v[2] = Isa::unpack_low64(b, d);
        v[3] = Isa::unpack_high64(b, d);
    }

    // The rounded sums of outputs j .. j+outputs-1 into sums_, over kPairs pairs of taps (0: any count,
    // `pairs`).
    template <std::int32_t kPairs>
    void horizontal_sums(std::int32_t pairs, std::int32_t j, std::int32_t outputs, std::int32_t from,
                         const Rounding& rounding)
    {
        const FilterTaps& columns = job_.filter_columns;
        const std::int32_t count = kPairs > 0 ? kPairs : pairs;
        for (std::int32_t o = 0; o < outputs; ++o) {
            const std::int32_t* weight_pairs = columns.pairs + static_cast<std::ptrdiff_t>(j + o) * count;
            const std::int32_t* window = pairs_ + kChannels * (columns.first[j + o] - from) * kLanes;
            V sum[kChannels];
#pragma GCC unroll 4
            for (std::int32_t c = 0; c < kChannels; ++c) sum[c] = rounding.half;
            for (std::int32_t p = 0; p < count; ++p, window += 2 * kChannels * kLanes) {
                const V weight = Isa::set1_32(weight_pairs[p]);
#pragma GCC unroll 4
                for (std::int32_t c = 0; c < kChannels; ++c)
                    sum[c] = Isa::add32(sum[c], Isa::madd(Isa::load(window + c * kLanes), weight));
            }
#pragma GCC unroll 4
            for (std::int32_t c = 0; c < kChannels; ++c) sums_[kChannels * o + c] = Isa::sra32(sum[c], rounding.shift);
        }
    }

    // The outputs j0 .. j1-1 of the lanes' rows i0 .. i0+rows-1, whose source column `from` is word 0
    // of the pairs.
    void horizontal_pass(std::int32_t from, std::int32_t j0, std::int32_t j1, std::int32_t i0, std::int32_t rows)
    {
        const FilterTaps& columns = job_.filter_columns;
        const std::int32_t shift = columns.weight_bits + 2;
        const std::int32_t pairs = (columns.taps + 1) / 2;
        const Rounding rounding{Isa::set1_32(1 << (shift - 1)), _mm_cvtsi32_si128(shift)};
        std::int16_t* lane_rows[kLanes];
        for (std::int32_t l = 0; l < rows; ++l)
            lane_rows[l] = job_.dst + static_cast<std::ptrdiff_t>(i0 + l) * job_.dst_stride * kChannels;
        // 8 outputs at a time: 8 x kChannels words, stored as kChannels blocks of 8.
        for (std::int32_t j = j0; j < j1; j += 8) {
            const std::int32_t outputs = smaller(8, j1 - j);
            with_unrolled_pairs(pairs,
                                [&](auto unrolled) { horizontal_sums<unrolled()>(pairs, j, outputs, from, rounding); });
            const std::int32_t words = kChannels * outputs;
            for (std::int32_t k = words; k < 8 * kChannels; ++k) sums_[k] = Isa::zero();
            for (std::int32_t block = 0; block * 8 < words; ++block)
                store_block(sums_ + 8 * block, lane_rows, kChannels * j + 8 * block, rows, smaller(8, words - 8 * block));
        }
    }

    // Stores 8 sums, one per output word, as `count` words from word `at` of each of the lanes' `rows`
    // rows. Within each 128-bit part (4 lanes), the packed words are transposed 16 bits at a time:
    // word pairs, then rows' word runs, then rows.
    static void store_block(const V sums[8], std::int16_t* const lane_rows[], std::int32_t at, std::int32_t rows,
                            std::int32_t count)
    {
        V packed[4], a[4], b[4], row[4];
        for (int m = 0; m < 4; ++m) packed[m] = Isa::packs32(sums[2 * m], sums[2 * m + 1]);
        for (int m = 0; m < 4; m += 2) {
            a[m] = Isa::unpack_low16(packed[m], packed[m + 1]);
            a[m + 1] = Isa::unpack_high16(packed[m], packed[m + 1]);
        }
        for (int m = 0; m < 4; m += 2) {
            b[m] = Isa::unpack_low16(a[m], a[m + 1]);
            b[m + 1] = Isa::unpack_high16(a[m], a[m + 1]);
        }
        row[0] = Isa::unpack_low64(b[0], b[2]);
        row[1] = Isa::unpack_high64(b[0], b[2]);
        row[2] = Isa::unpack_low64(b[1], b[3]);
        row[3] = Isa::unpack_high64(b[1], b[3]);
        Isa::store_rows(row, lane_rows, at, rows, count);
    }

    const RowJob& job_;
    // The group of lanes at hand: each lane's first source row (from its column 0), its weights and
    // its weights two by two, and how many rows from lane 0's first the lanes read.
    const std::int16_t* lane_rows_[kLanes];
    const std::int16_t* lane_taps_[kLanes];
    V lane_weights_[kLanes][kMaxFilterTaps / 2];
    std::int32_t rows_read_ = 0;
    V sums_[8 * kChannels];  // the rounded sums of 8 outputs' words
    // Each lane's intermediates, with room past them for the rest of the last whole register, or the
    // three zero words and a block of 8; a plane's, only those past its whole registers.
    alignas(64) std::int16_t lanes_[kLanes][(kPlane ? kWords : kRunWords) + 16];
    // For word w, lane l: the pair (v[w], v[w + kChannels]) at pairs_[w * kLanes + l]; a plane's
    // vertical pass stores the even words' pairs here directly.
    alignas(64) std::int32_t pairs_[(kRunWords + 8) * kLanes];
};

// The filter worker of level Isa for the job's layout.
template <class Isa>
void run_filter_worker(const RowJob& job)
{
    with_channels(job.layout, [&](auto channels) {
        FilterWorker<Isa, channels()> worker(job);
        worker.run();
    });
}

}  // namespace
