#pragma once
#include <vector>

namespace kv {

enum class TACSFilterWindowType { fwHamming, fwHann, fwBlackman };

// Windowed-sinc low-pass of `taps` coefficients with cut-off `fc` in cycles per sample, centred on
// taps div 2 and normalised to a sum of 1 (unity gain at DC).
std::vector<double> MakeLowPassKernel(int taps, double fc, TACSFilterWindowType window);

}  // namespace kv
