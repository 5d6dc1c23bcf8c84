#include "audioconv/RateKernel.h"

#include <cmath>

namespace kv {
namespace {

// The constants are fixed to these digits so that every build computes the same taps.
constexpr double kTwoPi = 6.28318530718;
constexpr double kFourPi = 12.56637061436;

double Window(TACSFilterWindowType window, int i, int n) {
    // The divisor is n, not n - 1: the window is periodic, so no tap is forced to exactly zero.
    const double a = kTwoPi * i / n;
    switch (window) {
        case TACSFilterWindowType::fwHamming:
            return 0.54 - 0.46 * std::cos(a);
        case TACSFilterWindowType::fwHann:
            return (1.0 - std::cos(a)) / 2.0;
        case TACSFilterWindowType::fwBlackman:
            break;
    }
    return 0.42 - 0.5 * std::cos(a) + 0.08 * std::cos(kFourPi * i / n);
}

}  // namespace

std::vector<double> MakeLowPassKernel(int taps, double fc, TACSFilterWindowType window) {
    std::vector<double> h(static_cast<size_t>(taps > 0 ? taps : 0));
    const int m = taps / 2;
    double sum = 0.0;
    for (int i = 0; i < taps; ++i) {
        const int d = i - m;
        const double s = d == 0 ? kTwoPi * fc : std::sin(kTwoPi * fc * d) / d;
        h[static_cast<size_t>(i)] = s * Window(window, i, taps);
        sum += h[static_cast<size_t>(i)];
    }
    if (sum != 0.0) {
        for (double& v : h) v /= sum;
    }
    return h;
}

}  // namespace kv
