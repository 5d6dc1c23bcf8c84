#include "audioconv/RateFilter.h"

#include <algorithm>

namespace kv {
namespace {

// Four doubles (four 32-bit integers, four 16-bit ones), read and written at any element's address.
using TVec = double __attribute__((vector_size(32), aligned(8), may_alias));
using TVec32 = int32_t __attribute__((vector_size(16)));
using TVec16 = int16_t __attribute__((vector_size(8), aligned(2), may_alias));

// Added to and taken from a double below 2^51 in magnitude, this rounds it to an integer in the
// current rounding mode (to nearest, halves to even): the sum has no bits below the units.
constexpr double kRounder = 6755399441055744.0;  // 1.5 * 2^52

double Round(double v) { return (v + kRounder) - kRounder; }

// Each pass is written once and built twice: for every x86-64 processor and for those with AVX2,
// chosen at the first call. FMA is left out on purpose: it would round differently. (No ifunc:
// its resolver runs before a sanitizer's runtime is ready.)

[[gnu::always_inline]] inline void Correlate(const double* x, const double* h, int taps, double* out, int count) {
    int k = 0;
    for (; k + 16 <= count; k += 16) {
        TVec a0 = {}, a1 = {}, a2 = {}, a3 = {};
        const double* p = x + k;
        for (int t = 0; t < taps; ++t, ++p) {
            const TVec ht = {h[t], h[t], h[t], h[t]};
            a0 += *reinterpret_cast<const TVec*>(p) * ht;
            a1 += *reinterpret_cast<const TVec*>(p + 4) * ht;
            a2 += *reinterpret_cast<const TVec*>(p + 8) * ht;
            a3 += *reinterpret_cast<const TVec*>(p + 12) * ht;
        }
        *reinterpret_cast<TVec*>(out + k) = a0;
        *reinterpret_cast<TVec*>(out + k + 4) = a1;
        *reinterpret_cast<TVec*>(out + k + 8) = a2;
        *reinterpret_cast<TVec*>(out + k + 12) = a3;
    }
    for (; k + 4 <= count; k += 4) {
        TVec a = {};
        for (int t = 0; t < taps; ++t) a += *reinterpret_cast<const TVec*>(x + k + t) * TVec{h[t], h[t], h[t], h[t]};
        *reinterpret_cast<TVec*>(out + k) = a;
    }
    for (; k < count; ++k) {
        double a = 0.0;
        for (int t = 0; t < taps; ++t) a += x[k + t] * h[t];
        out[k] = a;
    }
}

[[gnu::always_inline]] inline void Divide(double* v, double divisor, int count) {
    const TVec d = {divisor, divisor, divisor, divisor};
    const TVec r = {kRounder, kRounder, kRounder, kRounder};
    int k = 0;
    for (; k + 4 <= count; k += 4) {
        TVec* p = reinterpret_cast<TVec*>(v + k);
        *p = (*p / d + r) - r;
    }
    for (; k < count; ++k) v[k] = Round(v[k] / divisor);
}

[[gnu::always_inline]] inline void Round16(const double* v, int16_t* out, int count) {
    const TVec r = {kRounder, kRounder, kRounder, kRounder};
    const TVec lo = {-32768.0, -32768.0, -32768.0, -32768.0};
    const TVec hi = {32767.0, 32767.0, 32767.0, 32767.0};
    int k = 0;
    for (; k + 4 <= count; k += 4) {
        TVec x = (*reinterpret_cast<const TVec*>(v + k) + r) - r;
        x = x < lo ? lo : x;
        x = x > hi ? hi : x;
        *reinterpret_cast<TVec16*>(out + k) = __builtin_convertvector(__builtin_convertvector(x, TVec32), TVec16);
    }
    for (; k < count; ++k) out[k] = static_cast<int16_t>(std::clamp(Round(v[k]), -32768.0, 32767.0));
}

#if defined(__x86_64__)
bool HasAvx2() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
__attribute__((target("avx2"))) void CorrelateAvx2(const double* x, const double* h, int taps, double* out, int count) {
    Correlate(x, h, taps, out, count);
}
__attribute__((target("avx2"))) void DivideAvx2(double* v, double divisor, int count) { Divide(v, divisor, count); }
__attribute__((target("avx2"))) void Round16Avx2(const double* v, int16_t* out, int count) { Round16(v, out, count); }
#else
bool HasAvx2() { return false; }
void CorrelateAvx2(const double*, const double*, int, double*, int) {}
void DivideAvx2(double*, double, int) {}
void Round16Avx2(const double*, int16_t*, int) {}
#endif

}  // namespace

void CorrelateInOrder(const double* x, const double* h, int taps, double* out, int count) {
    if (HasAvx2())
        CorrelateAvx2(x, h, taps, out, count);
    else
        Correlate(x, h, taps, out, count);
}

void DivideRounded(double* v, double divisor, int count) {
    if (HasAvx2())
        DivideAvx2(v, divisor, count);
    else
        Divide(v, divisor, count);
}

void RoundTo16(const double* v, int16_t* out, int count) {
    if (HasAvx2())
        Round16Avx2(v, out, count);
    else
        Round16(v, out, count);
}

}  // namespace kv
