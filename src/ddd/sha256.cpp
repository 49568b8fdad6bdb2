#include "sha256.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define TESSARON_SHA256_X86 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace tessaron::ddd {

namespace {

constexpr qsizetype BlockSize = 64;

using State = std::array<quint32, 8>;

constexpr State InitialState
    = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

alignas(16) constexpr quint32 RoundConstants[64] = {
    0x428a2f98,
    0x71374491,
    0xb5c0fbcf,
    0xe9b5dba5,
    0x3956c25b,
    0x59f111f1,
    0x923f82a4,
    0xab1c5ed5,
    0xd807aa98,
    0x12835b01,
    0x243185be,
    0x550c7dc3,
    0x72be5d74,
    0x80deb1fe,
    0x9bdc06a7,
    0xc19bf174,
    0xe49b69c1,
    0xefbe4786,
    0x0fc19dc6,
    0x240ca1cc,
    0x2de92c6f,
    0x4a7484aa,
    0x5cb0a9dc,
    0x76f988da,
    0x983e5152,
    0xa831c66d,
    0xb00327c8,
    0xbf597fc7,
    0xc6e00bf3,
    0xd5a79147,
    0x06ca6351,
    0x14292967,
    0x27b70a85,
    0x2e1b2138,
    0x4d2c6dfc,
    0x53380d13,
    0x650a7354,
    0x766a0abb,
    0x81c2c92e,
    0x92722c85,
    0xa2bfe8a1,
    0xa81a664b,
    0xc24b8b70,
    0xc76c51a3,
    0xd192e819,
    0xd6990624,
    0xf40e3585,
    0x106aa070,
    0x19a4c116,
    0x1e376c08,
    0x2748774c,
    0x34b0bcb5,
    0x391c0cb3,
    0x4ed8aa4a,
    0x5b9cca4f,
    0x682e6ff3,
    0x748f82ee,
    0x78a5636f,
    0x84c87814,
    0x8cc70208,
    0x90befffa,
    0xa4506ceb,
    0xbef9a3f7,
    0xc67178f2,
};

constexpr quint32 rotateRight(quint32 value, int count)
{
    return (value >> count) | (value << (32 - count));
}

void compressPortable(State &state, const uchar *data, qsizetype blocks)
{
    for (; blocks > 0; --blocks, data += BlockSize) {
        quint32 w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = quint32(data[4 * i]) << 24 | quint32(data[4 * i + 1]) << 16 | quint32(data[4 * i + 2]) << 8
                | quint32(data[4 * i + 3]);
        for (int i = 16; i < 64; ++i) {
            const quint32 s0 = rotateRight(w[i - 15], 7) ^ rotateRight(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const quint32 s1 = rotateRight(w[i - 2], 17) ^ rotateRight(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        quint32 a = state[0], b = state[1], c = state[2], d = state[3];
        quint32 e = state[4], f = state[5], g = state[6], h = state[7];
        for (int i = 0; i < 64; ++i) {
            const quint32 s1 = rotateRight(e, 6) ^ rotateRight(e, 11) ^ rotateRight(e, 25);
            const quint32 choice = (e & f) ^ (~e & g);
            const quint32 t1 = h + s1 + choice + RoundConstants[i] + w[i];
            const quint32 s0 = rotateRight(a, 2) ^ rotateRight(a, 13) ^ rotateRight(a, 22);
            const quint32 majority = (a & b) ^ (a & c) ^ (b & c);
            const quint32 t2 = s0 + majority;
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

#ifdef TESSARON_SHA256_X86
// The SHA extensions keep the state as the word pairs ABEF and CDGH and do two rounds per instruction; the
// message schedule runs four words ahead in four registers.
__attribute__((target("sha,sse4.1,ssse3"))) void compressHardware(State &state, const uchar *data, qsizetype blocks)
{
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i tmp = _mm_loadu_si128(reinterpret_cast<const __m128i *>(&state[0]));
    __m128i state1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(&state[4]));
    tmp = _mm_shuffle_epi32(tmp, 0xB1); // CDAB
    state1 = _mm_shuffle_epi32(state1, 0x1B); // EFGH
    __m128i state0 = _mm_alignr_epi8(tmp, state1, 8); // ABEF
    state1 = _mm_blend_epi16(state1, tmp, 0xF0); // CDGH

    for (; blocks > 0; --blocks, data += BlockSize) {
        const __m128i savedAbef = state0;
        const __m128i savedCdgh = state1;
        __m128i message[4];
#pragma GCC unroll 16
        for (int group = 0; group < 16; ++group) {
            __m128i &current = message[group % 4];
            if (group < 4)
                current
                    = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i *>(data + 16 * group)), byteSwap);
            __m128i words
                = _mm_add_epi32(current, _mm_load_si128(reinterpret_cast<const __m128i *>(&RoundConstants[4 * group])));
            state1 = _mm_sha256rnds2_epu32(state1, state0, words);
            if (group >= 3 && group <= 14) {
                __m128i &next = message[(group + 1) % 4];
                next = _mm_add_epi32(next, _mm_alignr_epi8(current, message[(group + 3) % 4], 4));
                next = _mm_sha256msg2_epu32(next, current);
            }
            words = _mm_shuffle_epi32(words, 0x0E);
            state0 = _mm_sha256rnds2_epu32(state0, state1, words);
            if (group >= 1 && group <= 12) {
                __m128i &older = message[(group + 3) % 4];
                older = _mm_sha256msg1_epu32(older, current);
            }
        }
        state0 = _mm_add_epi32(state0, savedAbef);
        state1 = _mm_add_epi32(state1, savedCdgh);
    }

    tmp = _mm_shuffle_epi32(state0, 0x1B); // FEBA
    state1 = _mm_shuffle_epi32(state1, 0xB1); // DCHG
    state0 = _mm_blend_epi16(tmp, state1, 0xF0); // DCBA
    state1 = _mm_alignr_epi8(state1, tmp, 8); // HGFE
    _mm_storeu_si128(reinterpret_cast<__m128i *>(&state[0]), state0);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(&state[4]), state1);
}
#endif

void compress(State &state, const uchar *data, qsizetype blocks, bool hardware)
{
#ifdef TESSARON_SHA256_X86
    if (hardware) {
        compressHardware(state, data, blocks);
        return;
    }
#else
    Q_UNUSED(hardware);
#endif
    compressPortable(state, data, blocks);
}

} // namespace

bool Sha256::hasHardwareSupport()
{
#ifdef TESSARON_SHA256_X86
    static const bool supported = [] {
        unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
        if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
            return false;
        const bool ssse3 = (ecx & (1u << 9)) != 0;
        const bool sse41 = (ecx & (1u << 19)) != 0;
        if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx))
            return false;
        const bool sha = (ebx & (1u << 29)) != 0;
        return ssse3 && sse41 && sha;
    }();
    return supported;
#else
    return false;
#endif
}

QByteArray Sha256::hash(QByteArrayView bytes, Implementation implementation)
{
    const bool hardware = implementation == Implementation::Fastest && hasHardwareSupport();
    State state = InitialState;
    const auto *data = reinterpret_cast<const uchar *>(bytes.data());
    const qsizetype fullBlocks = bytes.size() / BlockSize;
    if (fullBlocks > 0)
        compress(state, data, fullBlocks, hardware);

    // The rest, the 0x80 marker, zeros and the bit count fill one or two last blocks.
    uchar tail[2 * BlockSize] = {};
    const qsizetype rest = bytes.size() - fullBlocks * BlockSize;
    if (rest > 0)
        std::memcpy(tail, data + fullBlocks * BlockSize, size_t(rest));
    tail[rest] = 0x80;
    const qsizetype tailBlocks = rest < BlockSize - 8 ? 1 : 2;
    const quint64 bits = quint64(bytes.size()) * 8;
    for (int i = 0; i < 8; ++i)
        tail[tailBlocks * BlockSize - 1 - i] = uchar(bits >> (8 * i));
    compress(state, tail, tailBlocks, hardware);

    QByteArray digest(32, Qt::Uninitialized);
    for (int i = 0; i < 8; ++i) {
        digest[4 * i] = char(state[i] >> 24);
        digest[4 * i + 1] = char(state[i] >> 16);
        digest[4 * i + 2] = char(state[i] >> 8);
        digest[4 * i + 3] = char(state[i]);
    }
    return digest;
}

} // namespace tessaron::ddd
