#pragma once
#include <cstdint>

namespace kv {

// The arithmetic of the sample rate converter, in passes over whole chunks that the vector unit
// takes several values at a time. Every value is computed exactly as one at a time would be: the
// converter's output is defined by these roundings.

// out[k] = x[k] * h[0] + x[k + 1] * h[1] + ... + x[k + taps - 1] * h[taps - 1] for k < count, each
// sum started at zero and taken from the first tap to the last with a separate multiply and add
// per tap. Consecutive outputs are summed side by side, which keeps every sum's order.
void CorrelateInOrder(const double* x, const double* h, int taps, double* out, int count);

// v[k] = v[k] / divisor rounded to the nearest integer, halves to even, for k < count. Exact for
// integers below 2^51 in magnitude: a quotient that is not a half lies at least 1 / (2 * divisor)
// from one, further than the division's own rounding can move it.
void DivideRounded(double* v, double divisor, int count);

// out[k] = v[k] rounded to the nearest integer (halves to even) and clipped to 16 bits: the filter
// overshoots on full-scale input, and a clipped sample is heard less than a wrapped one.
void RoundTo16(const double* v, int16_t* out, int count);

}  // namespace kv
