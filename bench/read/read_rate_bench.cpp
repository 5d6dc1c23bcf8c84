// Presses a virtual CD-ROM of N MB (default 700) of random data and saves it as an image with the
// image read at normal speed; prints the rate of the reading phase (first to last block) against
// the drive's rated read speed, and checks the image against the data.
//
// usage: bench_read_rate [MB] [scratch parent folder]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "device/DevicePathIdentity.h"
#include "jobs/ReadImageJob.h"
#include "platform/EngineClock.h"
#include "transport/RequestInterface.h"
#include "virtualrecorder/Medium.h"
#include "virtualrecorder/ReadTiming.h"
#include "virtualrecorder/VirtualRecorder.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

constexpr uint32_t kChunkBlocks = 256;

uint64_t BlockSeed(uint32_t lba) { return 0x9E3779B97F4A7C15ull * (lba + 1); }

void FillBlocks(uint32_t first, uint32_t count, std::vector<uint8_t>& out) {
    out.resize(size_t{count} * 2048);
    for (uint32_t b = 0; b < count; ++b) {
        std::mt19937_64 rng(BlockSeed(first + b));
        for (size_t i = 0; i < 2048; i += 8) {
            const uint64_t v = rng();
            for (size_t k = 0; k < 8; ++k) out[size_t{b} * 2048 + i + k] = static_cast<uint8_t>(v >> (8 * k));
        }
    }
}

bool Press(const std::string& path, uint32_t blocks, std::string& error) {
    auto medium = kv::vr::TMedium::Create(path, kv::vr::EMediumKind::CdRom, blocks, error);
    if (!medium) return false;
    std::vector<uint8_t> chunk;
    for (uint32_t at = 0; at < blocks; at += kChunkBlocks) {
        const uint32_t count = std::min(kChunkBlocks, blocks - at);
        FillBlocks(at, count, chunk);
        if (!medium->File().Write(static_cast<int32_t>(at), count, 2048, chunk.data())) {
            error = "cannot write " + path;
            return false;
        }
    }
    return medium->Commit(error);
}

bool ImageMatches(const std::string& path, uint32_t blocks) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> expected, got(size_t{kChunkBlocks} * 2048);
    for (uint32_t at = 0; at < blocks; at += kChunkBlocks) {
        const uint32_t count = std::min(kChunkBlocks, blocks - at);
        FillBlocks(at, count, expected);
        in.read(reinterpret_cast<char*>(got.data()), static_cast<std::streamsize>(expected.size()));
        if (in.gcount() != static_cast<std::streamsize>(expected.size()) ||
            !std::equal(expected.begin(), expected.end(), got.begin()))
            return false;
    }
    return in.peek() == EOF;
}

}  // namespace

int main(int argc, char** argv) {
    const int megabytes = argc > 1 ? std::atoi(argv[1]) : 700;
    const fs::path parent = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path();
    if (megabytes <= 0 || megabytes > 800) {
        std::fprintf(stderr, "usage: bench_read_rate [MB up to 800] [scratch parent folder]\n");
        return 2;
    }
    kv::EngineClock::SetTimeScale(1);
    std::string pattern = (parent / "kv-readbench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 2;
    }
    const fs::path work = pattern;
    const uint32_t blocks = static_cast<uint32_t>(int64_t{megabytes} * 1000000 / 2048);
    const std::string mediumPath = (work / "bench.kvm").string(), imagePath = (work / "image.iso").string();
    std::printf("pressing a %d MB CD-ROM (%u blocks) in %s ...\n", megabytes, blocks, work.c_str());
    std::string error;
    if (!Press(mediumPath, blocks, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        fs::remove_all(work);
        return 2;
    }

    kv::vr::TDriveModel model = kv::vr::TDriveModel::FromEnvironment();
    model.SpinUpMs = 0;
    auto recorder = std::make_shared<kv::vr::TVirtualRecorder>("virtual:bench", model);
    if (!recorder->InsertFile(mediumPath, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 2;
    }
    kv::SetSoftDriveSource([recorder] { return std::vector<std::shared_ptr<kv::TSoftDrive>>{recorder}; });
    int status = 0;
    {
        kv::TSCSIDevice device;
        device.InitializeASPI(true, "");
        const auto identity = kv::ListedIdentityOfPath(device, recorder->DevicePath());
        if (!identity || !device.SetDevice(*identity)) {
            std::fprintf(stderr, "the virtual recorder cannot be selected\n");
            return 2;
        }
        kv::jobs::TReadImageOptions options;
        options.Format = kv::jobs::TImageFormat::Iso;
        kv::jobs::TReadImageJob job(device, imagePath, options);
        if (!job.Start()) return 2;
        Clock::time_point first{}, last{};
        int64_t firstBytes = 0, lastBytes = 0;
        while (!job.Finished()) {
            const kv::jobs::TJobProgress p = job.Progress();
            const auto now = Clock::now();
            if (p.BytesDone > 0 && first == Clock::time_point{}) {
                first = now;
                firstBytes = p.BytesDone;
            }
            if (p.BytesDone > lastBytes) {
                last = now;
                lastBytes = p.BytesDone;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        job.Wait();
        if (!job.Result().Ok) {
            std::printf("the read failed: %s\n", job.Result().Error.c_str());
            status = 1;
        } else {
            const double seconds = std::chrono::duration<double>(last - first).count();
            const double blocksRead = static_cast<double>(lastBytes - firstBytes) / 2048.0;
            const double rated = kv::vr::TReadTiming::RatedKBs(kv::vr::Traits(kv::vr::EMediumKind::CdRom)) * 1000.0 / 2352.0;
            const double achieved = seconds > 0 ? blocksRead / seconds : 0;
            const double ratio = achieved / rated;
            const bool same = ImageMatches(imagePath, blocks);
            std::printf("%-8s %10s %16s %16s %8s\n", "medium", "MB", "rated blocks/s", "blocks/s", "ratio");
            std::printf("%-8s %10.1f %16.0f %16.0f %7.1f%%   (%.1f s)%s\n", "CD-ROM", lastBytes / 1e6, rated, achieved,
                        ratio * 100, seconds, same ? "" : "   IMAGE DIFFERS");
            if (ratio < 0.9 || !same) status = 1;
            std::printf("%s\n", status ? "below 90 % of the rated read speed, or the image differs"
                                       : "read at 90 % or more of the rated speed, image identical");
        }
    }
    kv::SetSoftDriveSource({});
    kv::ShutdownRequestInterface();
    fs::remove_all(work);
    return status;
}
