// The filter methods' vector row worker, written once for every level and included only by the level
// files (filter_worker_<level>.cpp), each compiled for its own instruction set; internal linkage
// throughout, as in lane_worker_impl.h. Every sum is exact in 32 bits (plan/arithmetic.h), so the
// order in which the vectors add the products changes nothing: the bytes are the reference's.
//
// Per output row, in runs of source columns: the vertical pass multiplies pairs of source rows,
// interleaved word by word, by their pair of weights (pmaddwd) over the channel-interleaved row, and
// stores the rounded 16-bit intermediates; they are split into three planes; the horizontal pass
// multiplies each output's window in its plane by its weights, a register of words at a time (the
// weights past its taps masked to 0), and adds the lanes of four outputs at once; the three planes'
// outputs are woven back into pixels.
#pragma once

#include <immintrin.h>

#include <cstdint>
#include <cstring>

#include "cpu/filter_workers.h"

namespace {

constexpr std::int32_t kRunColumns = 512;  // source columns per run of intermediates
constexpr std::int32_t kMaxWords = 32;     // 16-bit words of the widest register

inline std::int32_t smaller(std::int32_t a, std::int32_t b) { return a < b ? a : b; }

// The rule's rounding (plan/device_rules.inl), for the few words past the last whole register.
inline std::int16_t rounded(std::int32_t sum, std::int32_t shift)
{
    const std::int32_t value = (sum + (1 << (shift - 1))) >> shift;
    return static_cast<std::int16_t>(value < -32768 ? -32768 : value > 32767 ? 32767 : value);
}

// Isa: V, a register of kWords 16-bit words; load (unaligned), store, zero, set1_32, add32, madd
// (pmaddwd), unpack_low16 and unpack_high16 (within 128-bit lanes), packs32 (within 128-bit lanes,
// saturating), sra32 (by a count in a __m128i), and_, fold (the sum of the 128-bit lanes' int32s in
// one __m128i); split3 and weave3: 8 pixels between channel-interleaved and planar words.
template <class Isa>
class FilterWorker {
    using V = typename Isa::V;
    static constexpr std::int32_t kWords = Isa::kWords;

public:
    explicit FilterWorker(const FilterJob& job) : job_(job) {}

    void run()
    {
        const FilterTaps& columns = job_.columns;
        for (std::int32_t i = job_.first_row; i < job_.first_row + job_.row_count; ++i) {
            PIXEL_YC* dst_row = job_.dst_pixels + static_cast<std::ptrdiff_t>(i) * job_.dst_stride;
            for (std::int32_t j0 = 0; j0 < job_.dst_w;) {
                // As many outputs as their windows' source columns fit in one run, and at most a run.
                const std::int32_t from = columns.first[j0];
                std::int32_t j1 = j0 + 1;
                while (j1 < job_.dst_w && j1 - j0 < kRunColumns && columns.first[j1] + columns.taps - from <= kRunColumns)
                    ++j1;
                const std::int32_t count = columns.first[j1 - 1] + columns.taps - from;
                vertical_pass(i, from, count);
                split_planes(count);
                for (std::int32_t c = 0; c < 3; ++c) horizontal_pass(planes_[c], from, j0, j1, outputs_[c]);
                weave_outputs(j1 - j0, dst_row + j0);
                j0 = j1;
            }
        }
    }

private:
    // Output row `row`'s intermediates of source columns [from, from + count), interleaved, into run_.
    void vertical_pass(std::int32_t row, std::int32_t from, std::int32_t count)
    {
        const FilterTaps& rows = job_.rows;
        const std::int16_t* weights = rows.weight + static_cast<std::ptrdiff_t>(row) * rows.taps;
        const std::int16_t* top =
            &job_.src_pixels[static_cast<std::ptrdiff_t>(rows.first[row]) * job_.src_stride + from].y;
        const std::ptrdiff_t stride = static_cast<std::ptrdiff_t>(job_.src_stride) * 3;
        const std::int32_t shift = rows.weight_bits - 2;
        const std::int32_t words = count * 3;
        const V half = Isa::set1_32(1 << (shift - 1));
        const __m128i by = _mm_cvtsi32_si128(shift);
        std::int32_t w = 0;
        for (; w + kWords <= words; w += kWords) {
            V low = Isa::zero(), high = Isa::zero();
            for (std::int32_t t = 0; t < rows.taps; t += 2) {
                // An odd last tap pairs with itself at weight 0.
                const std::int32_t next = t + 1 < rows.taps ? t + 1 : t;
                const std::int32_t pair = static_cast<std::uint16_t>(weights[t]) |
                                          (t + 1 < rows.taps ? static_cast<std::int32_t>(weights[t + 1]) << 16 : 0);
                const V a = Isa::load(top + t * stride + w), b = Isa::load(top + next * stride + w);
                const V pair_weights = Isa::set1_32(pair);
                low = Isa::add32(low, Isa::madd(Isa::unpack_low16(a, b), pair_weights));
                high = Isa::add32(high, Isa::madd(Isa::unpack_high16(a, b), pair_weights));
            }
            low = Isa::sra32(Isa::add32(low, half), by);
            high = Isa::sra32(Isa::add32(high, half), by);
            Isa::store(run_ + w, Isa::packs32(low, high));
        }
        for (; w < words; ++w) {
            std::int32_t sum = 0;
            for (std::int32_t t = 0; t < rows.taps; ++t) sum += weights[t] * top[t * stride + w];
            run_[w] = rounded(sum, shift);
        }
    }

    // run_'s `count` pixels into planes_.
    void split_planes(std::int32_t count)
    {
        std::int32_t n = 0;
        for (; n + 8 <= count; n += 8) Isa::split3(run_ + 3 * n, planes_[0] + n, planes_[1] + n, planes_[2] + n);
        for (; n < count; ++n)
            for (std::int32_t c = 0; c < 3; ++c) planes_[c][n] = run_[3 * n + c];
    }

    // Outputs j0 .. j1-1 of one plane, whose source column `from` is plane[0], into out.
    void horizontal_pass(const std::int16_t* plane, std::int32_t from, std::int32_t j0, std::int32_t j1,
                         std::int16_t* out)
    {
        const FilterTaps& columns = job_.columns;
        const std::int32_t taps = columns.taps;
        const std::int32_t shift = columns.weight_bits + 2;
        const __m128i half = _mm_set1_epi32(1 << (shift - 1));
        const __m128i by = _mm_cvtsi32_si128(shift);
        const std::int32_t chunks = (taps + kWords - 1) / kWords;
        for (std::int32_t j = j0; j < j1; j += 4) {
            V sums[4];
            for (std::int32_t o = 0; o < 4; ++o) {
                const std::int32_t k = smaller(j + o, j1 - 1);  // past j1, a repeat that is not stored
                const std::int16_t* values = plane + (columns.first[k] - from);
                const std::int16_t* weights = columns.weight + static_cast<std::ptrdiff_t>(k) * taps;
                V sum = Isa::zero();
                for (std::int32_t m = 0; m < chunks; ++m)
                    sum = Isa::add32(sum, Isa::madd(Isa::load(values + m * kWords),
                                                    Isa::and_(Isa::load(weights + m * kWords), mask(taps - m * kWords))));
                sums[o] = sum;
            }
            // The four outputs' lanes added: a transpose of their folded sums, then three adds.
            const __m128i a = Isa::fold(sums[0]), b = Isa::fold(sums[1]), c = Isa::fold(sums[2]), d = Isa::fold(sums[3]);
            const __m128i ab_low = _mm_unpacklo_epi32(a, b), ab_high = _mm_unpackhi_epi32(a, b);
            const __m128i cd_low = _mm_unpacklo_epi32(c, d), cd_high = _mm_unpackhi_epi32(c, d);
            const __m128i total =
                _mm_add_epi32(_mm_add_epi32(_mm_unpacklo_epi64(ab_low, cd_low), _mm_unpackhi_epi64(ab_low, cd_low)),
                              _mm_add_epi32(_mm_unpacklo_epi64(ab_high, cd_high), _mm_unpackhi_epi64(ab_high, cd_high)));
            const __m128i stored = _mm_packs_epi32(_mm_sra_epi32(_mm_add_epi32(total, half), by), _mm_setzero_si128());
            if (j + 4 <= j1) {
                _mm_storel_epi64(reinterpret_cast<__m128i*>(out + (j - j0)), stored);
            } else {
                std::int16_t four[8];
                _mm_storeu_si128(reinterpret_cast<__m128i*>(four), stored);
                std::memcpy(out + (j - j0), four, static_cast<std::size_t>(j1 - j) * 2);
            }
        }
    }

    // Lanes below `taps` (of a register's kWords) all ones, the rest zero.
    static V mask(std::int32_t taps)
    {
        alignas(64) static const std::int16_t ones_then_zeros[2 * kMaxWords] = {
            -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1,
            -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1};
        const std::int32_t ones = taps < 0 ? 0 : taps > kWords ? kWords : taps;
        return Isa::load(ones_then_zeros + (kMaxWords - ones));
    }

    // `count` outputs of the three planes into pixels.
    void weave_outputs(std::int32_t count, PIXEL_YC* dst)
    {
        std::int32_t n = 0;
        std::int16_t* words = &dst->y;
        for (; n + 8 <= count; n += 8) Isa::weave3(outputs_[0] + n, outputs_[1] + n, outputs_[2] + n, words + 3 * n);
        for (; n < count; ++n) dst[n] = PIXEL_YC{outputs_[0][n], outputs_[1][n], outputs_[2][n]};
    }

    const FilterJob& job_;
    alignas(64) std::int16_t run_[kRunColumns * 3];
    // Planes with room for a whole register past the run, whose products the masks make 0.
    alignas(64) std::int16_t planes_[3][kRunColumns + kMaxWords] = {};
    alignas(64) std::int16_t outputs_[3][kRunColumns + 8];
};

// 8 channel-interleaved pixels (24 words) into three planes of 8 words, and back; for levels with
// SSSE3's byte shuffle.
#if defined(__SSSE3__)
inline void split3_shuffled(const std::int16_t* in, std::int16_t* y, std::int16_t* cb, std::int16_t* cr)
{
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 8));
    const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
    // Byte indices of word w: 2w, 2w+1; -1 gives 0.
    const auto pick = [](__m128i v, std::int8_t w0, std::int8_t w1, std::int8_t w2, std::int8_t w3, std::int8_t w4,
                         std::int8_t w5, std::int8_t w6, std::int8_t w7) {
        const auto lo = [](std::int8_t w) { return static_cast<char>(w < 0 ? -1 : 2 * w); };
        const auto hi = [](std::int8_t w) { return static_cast<char>(w < 0 ? -1 : 2 * w + 1); };
        return _mm_shuffle_epi8(v, _mm_setr_epi8(lo(w0), hi(w0), lo(w1), hi(w1), lo(w2), hi(w2), lo(w3), hi(w3), lo(w4),
                                                 hi(w4), lo(w5), hi(w5), lo(w6), hi(w6), lo(w7), hi(w7)));
    };
    // Channel k of pixel p is word 3p + k: in a (words 0-7), b (8-15) or c (16-23).
    const __m128i planes[3] = {
        _mm_or_si128(_mm_or_si128(pick(a, 0, 3, 6, -1, -1, -1, -1, -1), pick(b, -1, -1, -1, 1, 4, 7, -1, -1)),
                     pick(c, -1, -1, -1, -1, -1, -1, 2, 5)),
        _mm_or_si128(_mm_or_si128(pick(a, 1, 4, 7, -1, -1, -1, -1, -1), pick(b, -1, -1, -1, 2, 5, -1, -1, -1)),
                     pick(c, -1, -1, -1, -1, -1, 0, 3, 6)),
        _mm_or_si128(_mm_or_si128(pick(a, 2, 5, -1, -1, -1, -1, -1, -1), pick(b, -1, -1, 0, 3, 6, -1, -1, -1)),
                     pick(c, -1, -1, -1, -1, -1, 1, 4, 7)),
    };
    _mm_storeu_si128(reinterpret_cast<__m128i*>(y), planes[0]);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cb), planes[1]);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(cr), planes[2]);
}

// The byte shuffles that weave three planes of 8 words into 24 interleaved words: part p (words
// 8p .. 8p+7 of the result) takes from plane k the words whose channel is k.
struct WeaveControls {
    alignas(16) char bytes[3][3][16];
    constexpr WeaveControls() : bytes()
    {
        for (int part = 0; part < 3; ++part)
            for (int k = 0; k < 3; ++k)
                for (int w = 0; w < 8; ++w) {
                    const int index = 8 * part + w;
                    const bool mine = index % 3 == k;
                    bytes[part][k][2 * w] = static_cast<char>(mine ? 2 * (index / 3) : -1);
                    bytes[part][k][2 * w + 1] = static_cast<char>(mine ? 2 * (index / 3) + 1 : -1);
                }
    }
};
constexpr WeaveControls kWeaveControls;

inline void weave3_shuffled(const std::int16_t* y, const std::int16_t* cb, const std::int16_t* cr, std::int16_t* out)
{
    const __m128i planes[3] = {_mm_loadu_si128(reinterpret_cast<const __m128i*>(y)),
                               _mm_loadu_si128(reinterpret_cast<const __m128i*>(cb)),
                               _mm_loadu_si128(reinterpret_cast<const __m128i*>(cr))};
    for (int part = 0; part < 3; ++part) {
        __m128i words = _mm_setzero_si128();
        for (int k = 0; k < 3; ++k)
            words = _mm_or_si128(words, _mm_shuffle_epi8(planes[k], _mm_load_si128(reinterpret_cast<const __m128i*>(
                                                                         kWeaveControls.bytes[part][k]))));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 8 * part), words);
    }
}

#endif

// The same word by word, for levels without the byte shuffle.
inline void split3_plain(const std::int16_t* in, std::int16_t* y, std::int16_t* cb, std::int16_t* cr)
{
    for (int p = 0; p < 8; ++p) {
        y[p] = in[3 * p];
        cb[p] = in[3 * p + 1];
        cr[p] = in[3 * p + 2];
    }
}

inline void weave3_plain(const std::int16_t* y, const std::int16_t* cb, const std::int16_t* cr, std::int16_t* out)
{
    for (int p = 0; p < 8; ++p) {
        out[3 * p] = y[p];
        out[3 * p + 1] = cb[p];
        out[3 * p + 2] = cr[p];
    }
}

template <class Isa>
void run_filter_worker(const FilterJob& job)
{
    FilterWorker<Isa> worker(job);
    worker.run();
}

}  // namespace
