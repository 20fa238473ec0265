// The shared generator's draws for a chunk. The noise floor's draws where no other draw is heard:
// four steps of the shared generator per sample, of which only the fourth is read (the oscillators'
// three only move the sequence on). Each word of the generator is a multiply-with-carry, z' = a (z
// mod 2^16) + z div 2^16, which is z' = a z modulo m = a 2^16 - 1 in a redundant form: so sixteen
// steps are one multiplication by a^13 mod m and three such folds, four samples at a time in the
// lanes (AVX2). The residue fixes the state unless it is below 2^16 - a, where the state may also
// be the residue plus m (one case in some tens of thousands): those groups step one by one.
// Included once per instruction set (see dsp/Lanes.h).
#pragma once

#include "dsp/Lanes.h"

namespace Korvel {
namespace KORVEL_LANES_NS {

namespace Floor {

KORVEL_LANE_INLINE std::uint32_t step(std::uint32_t& z, std::uint32_t& w) {
    z = 36969u * (z & 65535u) + (z >> 16);
    w = 18000u * (w & 65535u) + (w >> 16);
    return (z << 16) + (w & 65535u);
}
KORVEL_LANE_INLINE double floorOf(std::uint32_t r) {
    return static_cast<double>(r) * 2.3283064370807974e-10 * 5e-6;
}

} // namespace Floor

// floor[i] = the uniform form of sample i's fourth draw x 5e-6; z and w move on by 4 x frames.
inline void floorDraws(std::uint32_t* zState, std::uint32_t* wState, int frames, double* floor) {
    using namespace Floor;
    std::uint32_t z = *zState, w = *wState;
    int i = 0;
#if defined(__AVX2__)
    if (frames >= 16) {
        // Lanes j = 0..3 hold the state after samples i + j, from the state itself to begin with.
        __m256i Z = _mm256_set1_epi64x(z), W = _mm256_set1_epi64x(w);
        const __m256i low16 = _mm256_set1_epi64x(65535);
        const __m256i az = _mm256_set1_epi64x(36969), aw = _mm256_set1_epi64x(18000);
        const __m256i jz = _mm256_set1_epi64x(1623930902), jw = _mm256_set1_epi64x(976331327);
        const __m256i mz = _mm256_set1_epi64x(2422800383), mw = _mm256_set1_epi64x(1179647999);
        const __m256i mz1 = _mm256_set1_epi64x(2422800382), mw1 = _mm256_set1_epi64x(1179647998);
        // A residue above 2^16 - a fixes the state.
        const __m256i sureZ = _mm256_set1_epi64x(28567), sureW = _mm256_set1_epi64x(47536);
        const __m256i all = _mm256_set1_epi64x(-1);
        const __m256i exponent = _mm256_set1_epi64x(0x4330000000000000);
        const __m256d two52 = _mm256_set1_pd(4503599627370496.0);
        const __m256d scale = _mm256_set1_pd(2.3283064370807974e-10),
                      floorGain = _mm256_set1_pd(5e-6);
        auto fold = [&](__m256i y, __m256i a) {
            return _mm256_add_epi64(_mm256_mul_epu32(_mm256_and_si256(y, low16), a),
                                    _mm256_srli_epi64(y, 16));
        };
        // The next four samples: each lane multiplied by byZ and byW (jz and jw for sixteen steps)
        // and folded three times; false, leaving Z and W as they were, where a lane's state is not
        // certain.
        auto group = [&](__m256i byZ, __m256i byW) {
            __m256i yz = fold(fold(fold(_mm256_mul_epu32(Z, byZ), az), az), az);
            __m256i yw = fold(fold(fold(_mm256_mul_epu32(W, byW), aw), aw), aw);
            yz = _mm256_sub_epi64(yz, _mm256_and_si256(_mm256_cmpgt_epi64(yz, mz1), mz));
            yw = _mm256_sub_epi64(yw, _mm256_and_si256(_mm256_cmpgt_epi64(yw, mw1), mw));
            const __m256i sure =
                _mm256_and_si256(_mm256_cmpgt_epi64(yz, sureZ), _mm256_cmpgt_epi64(yw, sureW));
            if (!_mm256_testc_si256(sure, all)) return false;
            Z = yz;
            W = yw;
            // The draw in 32-bit halves, which wrap as the word does; the upper half stays 0.
            __m256i r = _mm256_add_epi32(_mm256_slli_epi32(Z, 16), _mm256_and_si256(W, low16));
            __m256d d = _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(r, exponent)), two52);
            _mm256_storeu_pd(floor + i, _mm256_mul_pd(_mm256_mul_pd(d, scale), floorGain));
            return true;
        };
        // The first four: lane j takes 4 (j + 1) steps, a^(4 j + 1) mod m and the three folds.
        if (group(_mm256_setr_epi64x(36969, 2222859819, 775514752, 1623930902),
                  _mm256_setr_epi64x(18000, 1024305982, 557826686, 976331327))) {
            for (i = 4; i + 4 <= frames; i += 4)
                if (!group(jz, jw)) break; // lane 3 of Z, W is still exact
        }
        alignas(32) std::uint64_t zs[4], ws[4];
        _mm256_store_si256(reinterpret_cast<__m256i*>(zs), Z);
        _mm256_store_si256(reinterpret_cast<__m256i*>(ws), W);
        z = static_cast<std::uint32_t>(zs[3]);
        w = static_cast<std::uint32_t>(ws[3]);
    }
#endif
    for (; i < frames; ++i) {
        for (int k = 0; k < 3; ++k)
            step(z, w);
        floor[i] = floorOf(step(z, w));
    }
    *zState = z;
    *wState = w;
}

// Every draw of frames samples where the voices' are heard: sample i's four steps give
// voices[k][i], the bipolar form of its draw k + 1, for k = 0 .. 2, and floor[i] as floorDraws.
// z and w move on by 4 x frames. With AVX2 the four steps of a sample run side by side, the
// lanes holding the two words after each of them, and every lane steps four times per sample.
inline void voiceDraws(std::uint32_t* zState, std::uint32_t* wState, int frames,
                       double* const* voices, double* floor) {
    using namespace Floor;
    std::uint32_t z = *zState, w = *wState;
    int i = 0;
#if defined(__AVX2__)
    if (frames >= 4) {
        alignas(32) std::uint32_t words[8];
        for (int k = 0; k < 4; ++k) {
            step(z, w);
            words[k] = z;
            words[4 + k] = w;
        }
        __m256i S = _mm256_load_si256(reinterpret_cast<const __m256i*>(words));
        const __m256i a = _mm256_setr_epi32(36969, 36969, 36969, 36969, 18000, 18000, 18000, 18000);
        const __m256i low16 = _mm256_set1_epi32(65535);
        const __m128i low16Half = _mm_set1_epi32(65535);
        // The fourth draw is read unsigned, and scaled into the floor: its sign bit flipped it
        // converts as a signed word 2^31 below it.
        const __m128i flip = _mm_setr_epi32(0, 0, 0, static_cast<int>(0x80000000u));
        const __m256d unsignedFix = _mm256_setr_pd(0, 0, 0, 2147483648.0);
        const __m256d scale = _mm256_setr_pd(4.656612875245797e-10, 4.656612875245797e-10,
                                             4.656612875245797e-10, 2.3283064370807974e-10);
        const __m256d gain = _mm256_setr_pd(1, 1, 1, 5e-6);
        double* const v0 = voices[0];
        double* const v1 = voices[1];
        double* const v2 = voices[2];
        for (;; ++i) {
            const __m128i zs = _mm256_castsi256_si128(S), ws = _mm256_extracti128_si256(S, 1);
            const __m128i r = _mm_add_epi32(_mm_slli_epi32(zs, 16), _mm_and_si128(ws, low16Half));
            __m256d d = _mm256_add_pd(_mm256_cvtepi32_pd(_mm_xor_si128(r, flip)), unsignedFix);
            d = _mm256_mul_pd(_mm256_mul_pd(d, scale), gain);
            const __m128d lo = _mm256_castpd256_pd128(d), hi = _mm256_extractf128_pd(d, 1);
            _mm_storel_pd(v0 + i, lo);
            _mm_storeh_pd(v1 + i, lo);
            _mm_storel_pd(v2 + i, hi);
            _mm_storeh_pd(floor + i, hi);
            if (i + 1 == frames) break;
            for (int k = 0; k < 4; ++k)
                S = _mm256_add_epi32(_mm256_mullo_epi32(_mm256_and_si256(S, low16), a),
                                     _mm256_srli_epi32(S, 16));
        }
        _mm256_store_si256(reinterpret_cast<__m256i*>(words), S);
        z = words[3];
        w = words[7];
        i = frames;
    }
#endif
    for (; i < frames; ++i) {
        for (int k = 0; k < 3; ++k)
            voices[k][i] =
                static_cast<double>(static_cast<std::int32_t>(step(z, w))) * 4.656612875245797e-10;
        floor[i] = floorOf(step(z, w));
    }
    *zState = z;
    *wState = w;
}

} // namespace KORVEL_LANES_NS
} // namespace Korvel
