#pragma once
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "TestPcm.h"
#include "platform/ByteOrder.h"

namespace kv::test {

// A scratch folder for files made at test time with the command-line encoders.
class TScratch {
public:
    TScratch() {
        dir_ = std::filesystem::temp_directory_path() / ("kv-decode-" + std::to_string(::getpid()));
        std::filesystem::create_directories(dir_);
    }
    ~TScratch() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    std::string operator/(const std::string& name) const { return (dir_ / name).string(); }
    std::string str() const { return dir_.string(); }

private:
    std::filesystem::path dir_;
};

inline bool HaveTool(const std::string& tool) {
    return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

inline bool Shell(const std::string& command) {
    return std::system(("(" + command + ") >/dev/null 2>&1").c_str()) == 0;
}

inline std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline std::vector<uint8_t> ReadFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), {});
}

// Runs `script` once per build tree in a folder of its own and returns that folder ("" when the script
// failed). ctest runs every test in its own process and ffmpeg starts slowly, so the sources are
// made once and shared; the folder name carries a hash of the script, so a changed script remakes them.
inline std::string CachedSources(const std::string& name, const std::string& script) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(KV_BINARY_DIR) / "audioconv-test-sources" /
                         (name + "-" + std::to_string(std::hash<std::string>{}(script)));
    if (fs::exists(dir / ".complete")) return dir.string();
    const fs::path building = dir.string() + ".building-" + std::to_string(::getpid());
    std::error_code ec;
    fs::remove_all(building, ec);
    fs::create_directories(building);
    if (!Shell("cd " + Quote(building.string()) + " && " + script)) {
        fs::remove_all(building, ec);
        return "";
    }
    std::ofstream(building / ".complete") << "ok\n";
    // Another test process may have finished first; its folder is as good as ours.
    fs::rename(building, dir, ec);
    if (ec) fs::remove_all(building, ec);
    return fs::exists(dir / ".complete") ? dir.string() : "";
}

// ffmpeg's decode of a source (16-bit at 44100 Hz with the source's channel count) as interleaved
// stereo: a mono source is copied to both sides at full level, as the channel converter does
// (ffmpeg's own up-mix would lower it by 3 dB).
inline std::vector<int> ReferenceStereo(const std::string& raw, int channels) {
    auto samples = FromBytes16(ReadFileBytes(raw));
    if (channels != 1) return samples;
    std::vector<int> stereo;
    for (int v : samples) {
        stereo.push_back(v);
        stereo.push_back(v);
    }
    return stereo;
}

// Signal-to-noise ratio in dB of `ours` against `ref` (both interleaved stereo) over the middle 80 %
// of the reference, after the best alignment: whole frames within +-maxLag, then refined to 1/20
// frame by linear interpolation (different resamplers delay by different fractions of a frame).
inline double AlignedSnrDb(const std::vector<int>& ours, const std::vector<int>& ref, int maxLag,
                           double* bestLag) {
    const long frames = long(std::min(ours.size(), ref.size()) / 2);
    const long from = frames / 10 + maxLag + 2, to = frames - frames / 10 - maxLag - 2;
    auto snrAt = [&](double lag, long stride) {
        const long whole = long(std::floor(lag));
        const double frac = lag - double(whole);
        double sig = 0, err = 0;
        for (long i = from; i < to; i += stride) {
            for (int c = 0; c < 2; ++c) {
                const double r = ref[size_t(2 * i + c)];
                const double o0 = ours[size_t(2 * (i + whole) + c)],
                             o1 = ours[size_t(2 * (i + whole + 1) + c)];
                const double o = o0 + frac * (o1 - o0);
                sig += r * r;
                err += (o - r) * (o - r);
            }
        }
        return err == 0 ? 200.0 : 10 * std::log10(sig / err);
    };
    double best = -1e9, lagBest = 0;
    for (int lag = -maxLag; lag <= maxLag; ++lag) {
        const double snr = snrAt(lag, 7);  // the coarse search looks at every 7th frame
        if (snr > best) {
            best = snr;
            lagBest = lag;
        }
    }
    const double centre = lagBest;
    best = -1e9;
    for (int step = -20; step <= 20; ++step) {
        const double lag = centre + step / 20.0;
        const double snr = snrAt(lag, 1);
        if (snr > best) {
            best = snr;
            lagBest = lag;
        }
    }
    if (bestLag) *bestLag = lagBest;
    return best;
}

}  // namespace kv::test
