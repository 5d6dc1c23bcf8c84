// Burns a compilation of N MB (default 300) to a virtual DVD+R, a virtual CD-R and a virtual BD-R
// (at 6X and at 12X) at normal speed
// and prints, for the data phase (first WRITE to the end of the final cache flush), the achieved
// write rate against the speed the drive announced, the lowest drive-buffer fill after the
// buffer first filled, and how often the writer found the read-ahead cache empty; and for the
// whole burn the CPU time of the process (virtual recorder included) per GB written, against the
// CPU time per GB of writing an ISO image of the same files in the same process, and against a
// plain copy of the sources into a file paced at the burn's speed (the floor any burn at that
// speed meets on this machine).
//
// usage: bench_burn_rate [MB] [scratch parent folder] [medium name, e.g. DVD+R: only that row]
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "datawrite/TZelBurner.h"
#include "device/DevicePathIdentity.h"
#include "platform/EngineClock.h"
#include "transport/RequestInterface.h"
#include "virtualrecorder/MediumTools.h"
#include "virtualrecorder/VirtualRecorder.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kSourceFiles = 10;
// The read-ahead cache the program's settings give a data burn by default (16 MB).
constexpr int kCacheBytes = 16 << 20;

struct TResult {
    bool Ok = false;
    std::string Error;
    double RatedKBs = 0;
    double AchievedKBs = 0;
    double Seconds = 0;
    int64_t Bytes = 0;
    int MinBufferPercent = 100;
    int64_t CacheEmpty = 0;
    double CpuSeconds = 0;  // the whole process, from the burn's start to its end
};

double CpuSeconds(int who) {
    rusage ru{};
    ::getrusage(who, &ru);
    return double(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) + double(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}
double ProcessCpuSeconds() { return CpuSeconds(RUSAGE_SELF); }
double ThisThreadCpuSeconds() { return CpuSeconds(RUSAGE_THREAD); }

void AddSources(kv::TZelBurner& burner, const std::vector<fs::path>& sources, std::string& error) {
    for (const auto& s : sources)
        if (burner.AddFile("\\", s.string(), "SRC" + std::to_string(&s - sources.data()) + ".BIN", s.filename().string()) < 1)
            error = "cannot add " + s.string();
}

// CPU seconds per GB of writing the sources into an ISO image file (as mkiso does).
double ImageCpuPerGb(const fs::path& work, const std::vector<fs::path>& sources) {
    kv::TZelBurner burner;
    burner.SetCacheSize(kCacheBytes);
    burner.IdVolume = "BENCH";
    std::string error;
    AddSources(burner, sources, error);
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    burner.OnWriteDone = [&](kv::TZelBurner*, const std::string& e) {
        std::lock_guard lock(m);
        error = e;
        done = true;
        cv.notify_all();
    };
    const fs::path image = work / "bench.iso";
    const double before = ProcessCpuSeconds();
    burner.CreateISOFile(image.string(), false);
    {
        std::unique_lock lock(m);
        cv.wait(lock, [&] { return done; });
    }
    burner.WaitForWrite();
    const double cpu = ProcessCpuSeconds() - before;
    fs::remove(image);
    if (!error.empty() || burner.BytesWritten() <= 0) return 0;
    return cpu / (double(burner.BytesWritten()) / 1e9);
}

// CPU seconds per GB of only moving the sources into a file at `kBs`, a MiB at a time with a
// sleep between (as a burn at that speed moves them): what the machine charges for paced reads
// and writes before any burner or recorder code runs. On a virtual machine the bytes written
// after each sleep cost several times what they cost in a flat-out copy.
double PacedCopyCpuPerGb(const fs::path& work, const std::vector<fs::path>& sources, double kBs) {
    constexpr size_t kBurst = 1 << 20;
    if (kBs <= 0) return 0;
    std::vector<char> buffer(kBurst);
    const fs::path out = work / "paced.bin";
    std::FILE* target = std::fopen(out.c_str(), "wb");
    if (!target) return 0;
    std::setvbuf(target, nullptr, _IONBF, 0);
    int64_t moved = 0;
    const auto start = Clock::now();
    const double before = ProcessCpuSeconds();
    for (const auto& s : sources) {
        std::FILE* in = std::fopen(s.c_str(), "rb");
        if (!in) break;
        std::setvbuf(in, nullptr, _IONBF, 0);
        for (size_t n; (n = std::fread(buffer.data(), 1, kBurst, in)) > 0;) {
            std::fwrite(buffer.data(), 1, n, target);
            moved += static_cast<int64_t>(n);
            std::this_thread::sleep_until(start + std::chrono::microseconds(static_cast<int64_t>(moved / kBs * 1000)));
        }
        std::fclose(in);
    }
    std::fclose(target);
    const double cpu = ProcessCpuSeconds() - before;
    fs::remove(out);
    return moved > 0 ? cpu / (double(moved) / 1e9) : 0;
}

// "... AT 16.0X (22,160 KB/s)" -> 22160.
double AnnouncedKBs(const std::string& line) {
    const size_t open = line.rfind('(');
    if (open == std::string::npos) return 0;
    std::string digits;
    for (size_t i = open + 1; i < line.size() && line[i] != ' '; ++i)
        if (line[i] >= '0' && line[i] <= '9') digits += line[i];
    return digits.empty() ? 0 : std::stod(digits);
}

// `speedKBs` 0: the drive's fastest.
TResult Burn(kv::vr::EMediumKind kind, uint32_t speedKBs, const fs::path& work, const std::vector<fs::path>& sources) {
    TResult r;
    const std::string medium = (work / "bench.kvm").string();
    fs::remove(medium);
    std::string error;
    if (!kv::vr::CreateBlankMedium(medium, kind, 0, error)) {
        r.Error = error;
        return r;
    }
    auto recorder = std::make_shared<kv::vr::TVirtualRecorder>("virtual:bench", kv::vr::TDriveModel::FromEnvironment());
    if (!recorder->InsertFile(medium, error)) {
        r.Error = error;
        return r;
    }
    kv::SetSoftDriveSource([recorder] { return std::vector<std::shared_ptr<kv::TSoftDrive>>{recorder}; });
    {
        kv::TZelBurner burner;
        burner.InitializeASPI(true, "");
        const auto identity = kv::ListedIdentityOfPath(burner, recorder->DevicePath());
        if (!identity || !burner.SetDevice(*identity)) {
            r.Error = "the virtual recorder cannot be selected";
            return r;
        }
        burner.ClearAll(1000, 100);
        burner.SetWriteSpeed(speedKBs);
        burner.SetCacheSize(kCacheBytes);
        burner.IdVolume = "BENCH";
        AddSources(burner, sources, r.Error);
        std::mutex m;
        std::condition_variable ended;
        std::string startLine, writeError;
        std::atomic<bool> done{false}, finalizing{false};
        burner.OnDebugMessage = [&](kv::TSCSIDevice*, const std::string& text, uint8_t) {
            std::lock_guard lock(m);
            if (text.find("STARTING WRITE PROCESS") != std::string::npos) startLine = text;
        };
        burner.OnFinalizingTrack = [&](kv::TZelBurner*) { finalizing = true; };
        burner.OnWriteDone = [&](kv::TZelBurner*, const std::string& e) {
            std::lock_guard lock(m);
            writeError = e;
            done = true;
            ended.notify_all();
        };
        const double cpuBefore = ProcessCpuSeconds();
        if (!r.Error.empty() || !burner.BurnCD()) {
            burner.WaitForWrite();
            r.Error = r.Error.empty() ? "the burn did not start: " + writeError : r.Error;
            return r;
        }
        Clock::time_point first{}, flushed{};
        bool filled = false;
        // The harness's own polling is not the burn's CPU time: this thread's share is taken off.
        const double pollingBefore = ThisThreadCpuSeconds();
        while (!done) {
            const auto now = Clock::now();
            const int64_t written = burner.BytesWritten();
            const uint32_t size = burner.DeviceBufferSize.load(), free = burner.DeviceFreeBufferSize.load();
            if (written > 0 && first == Clock::time_point{}) first = now;
            if (finalizing && size == 0 && flushed == Clock::time_point{}) flushed = now;
            if (first != Clock::time_point{} && !finalizing && size > 0 && free <= size) {
                const int fill = static_cast<int>((size - free) * 100.0 / size);
                if (fill >= 50) filled = true;
                if (filled) r.MinBufferPercent = std::min(r.MinBufferPercent, fill);
            }
            // The writer refreshes the buffer figures every fifth block (some 15 ms at 16X). Once the
            // buffer has been flushed nothing is sampled any more: the closing wait ends on the
            // burn's end, without waking the process twenty times a second for most of a minute.
            const auto pause = std::chrono::milliseconds(flushed == Clock::time_point{} ? 50 : 1000);
            std::unique_lock lock(m);
            ended.wait_for(lock, pause, [&] { return done.load(); });
        }
        const double polling = ThisThreadCpuSeconds() - pollingBefore;
        burner.WaitForWrite();
        r.CpuSeconds = ProcessCpuSeconds() - cpuBefore - polling;
        std::lock_guard lock(m);
        if (!writeError.empty()) {
            r.Error = writeError;
            return r;
        }
        if (flushed == Clock::time_point{}) flushed = Clock::now();
        r.Bytes = burner.BytesWritten();
        r.Seconds = std::chrono::duration<double>(flushed - first).count();
        r.AchievedKBs = r.Seconds > 0 ? r.Bytes / r.Seconds / 1000.0 : 0;
        r.RatedKBs = AnnouncedKBs(startLine);
        r.CacheEmpty = burner.CacheTimesEmpty();
        r.Ok = true;
    }
    kv::SetSoftDriveSource({});
    kv::ShutdownRequestInterface();
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    const int megabytes = argc > 1 ? std::atoi(argv[1]) : 300;
    const fs::path parent = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path();
    const std::string only = argc > 3 ? argv[3] : "";
    if (megabytes <= 0) {
        std::fprintf(stderr, "usage: bench_burn_rate [MB] [scratch parent folder] [medium]\n");
        return 2;
    }
    kv::EngineClock::SetTimeScale(1);
    std::string pattern = (parent / "kv-burnbench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 2;
    }
    const fs::path work = pattern;
    std::printf("writing %d MB of sources in %s ...\n", megabytes, work.c_str());
    std::vector<fs::path> sources;
    std::mt19937_64 rng(42);
    std::vector<uint64_t> chunk(1 << 17);
    const int64_t perFile = int64_t{megabytes} * 1000000 / kSourceFiles;
    for (int i = 0; i < kSourceFiles; ++i) {
        sources.push_back(work / ("source" + std::to_string(i) + ".bin"));
        std::ofstream out(sources.back(), std::ios::binary);
        for (int64_t left = perFile; left > 0;) {
            for (auto& v : chunk) v = rng();
            const int64_t n = std::min<int64_t>(left, static_cast<int64_t>(chunk.size() * 8));
            out.write(reinterpret_cast<const char*>(chunk.data()), n);
            left -= n;
        }
    }

    int failures = 0;
    // The image first: it also brings the sources into the page cache for every burn alike. The
    // median of three, as one run's CPU time varies with what the machine does meanwhile.
    std::vector<double> images;
    for (int i = 0; i < 3; ++i) images.push_back(ImageCpuPerGb(work, sources));
    std::sort(images.begin(), images.end());
    const double imageCpuPerGb = images[1];
    std::printf("ISO image of the same files: %.2f s CPU per GB\n", imageCpuPerGb);
    std::printf("%-9s %10s %12s %8s %8s %14s %12s %10s %9s %9s\n", "medium", "MB", "rated KB/s", "KB/s", "ratio",
                "buffer min %", "cache empty", "CPU s/GB", "vs image", "vs paced");
    struct TRow {
        kv::vr::EMediumKind Kind;
        uint32_t SpeedKBs;
        const char* Name;
    };
    for (const TRow& row : {TRow{kv::vr::EMediumKind::DvdPlusR, 0, "DVD+R"}, TRow{kv::vr::EMediumKind::CdR, 0, "CD-R"},
                            TRow{kv::vr::EMediumKind::BdR, 6 * kv::vr::kBdSpeed1x, "BD-R 6X"},
                            TRow{kv::vr::EMediumKind::BdR, 12 * kv::vr::kBdSpeed1x, "BD-R 12X"}}) {
        const char* name = row.Name;
        if (!only.empty() && only != name) continue;
        const TResult r = Burn(row.Kind, row.SpeedKBs, work, sources);
        if (!r.Ok) {
            std::printf("%-9s failed: %s\n", name, r.Error.c_str());
            ++failures;
            continue;
        }
        const double ratio = r.RatedKBs > 0 ? r.AchievedKBs / r.RatedKBs : 0;
        const double cpuPerGb = r.Bytes > 0 ? r.CpuSeconds / (double(r.Bytes) / 1e9) : 0;
        const double cpuRatio = imageCpuPerGb > 0 ? cpuPerGb / imageCpuPerGb : 0;
        const double pacedCpuPerGb = PacedCopyCpuPerGb(work, sources, r.AchievedKBs);
        const double pacedRatio = pacedCpuPerGb > 0 ? cpuPerGb / pacedCpuPerGb : 0;
        std::printf("%-9s %10.1f %12.0f %8.0f %7.1f%% %14d %12lld %10.2f %8.2fx %8.2fx   (%.1f s; paced copy %.2f s/GB)\n",
                    name, r.Bytes / 1e6, r.RatedKBs, r.AchievedKBs, ratio * 100, r.MinBufferPercent,
                    static_cast<long long>(r.CacheEmpty), cpuPerGb, cpuRatio, pacedRatio, r.Seconds, pacedCpuPerGb);
        if (ratio < 0.9 || r.CacheEmpty > 0 || cpuRatio > 1.5) ++failures;
    }
    fs::remove_all(work);
    std::printf("%s\n", failures ? "below 90 % of the rated speed, the cache ran empty, or above 1.5 times the image's CPU per GB"
                                 : "every burn at 90 % or more of its rated speed, cache never empty, CPU per GB within 1.5 times the image's");
    return failures ? 1 : 0;
}
