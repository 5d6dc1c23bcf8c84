// Running kelvadore-cli and the outside tools from the end-to-end tests, and the files they use.
#pragma once
#include <stdlib.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace kv::test {

struct TRun {
    int Status = -1;  // exit status; -1 when the command did not exit normally
    std::string Output;  // stdout and stderr together
};

inline TRun RunShell(const std::string& command) {
    TRun r;
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return r;
    std::array<char, 4096> buffer;
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) r.Output.append(buffer.data(), n);
    const int status = ::pclose(pipe);
    r.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

// One shell word, whatever the text holds.
inline std::string Q(const std::string& s) {
    std::string quoted = "'";
    for (char c : s) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

inline bool HaveTool(const std::string& name) { return RunShell("command -v " + name).Status == 0; }

// The whole file; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& p) {
    std::error_code ec;
    const auto size = std::filesystem::file_size(p, ec);
    if (ec) return {};
    std::string data(static_cast<size_t>(size), '\0');
    std::ifstream(p, std::ios::binary).read(data.data(), static_cast<std::streamsize>(data.size()));
    return data;
}

inline void WriteRandom(const std::filesystem::path& p, size_t size, unsigned seed) {
    std::filesystem::create_directories(p.parent_path());
    std::mt19937 rng(seed);
    std::string data(size, '\0');
    for (char& c : data) c = static_cast<char>(rng() & 0xFF);
    std::ofstream(p, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
}

// kelvadore-cli with the engine's waits (and the virtual recorder's) `timeScale` times faster and
// optional fault rules for the recorder.
inline std::string CliCommand(const std::string& args, int timeScale = 1, const std::string& faults = "") {
    // A home of this test process's own: the user's medium files are never locked or listed.
    struct THome {
        std::string Path = (std::filesystem::temp_directory_path() / "kv-cli-home-XXXXXX").string();
        THome() {
            if (!::mkdtemp(Path.data())) Path.clear();
        }
        ~THome() {
            std::error_code ec;
            if (!Path.empty()) std::filesystem::remove_all(Path, ec);
        }
    };
    static const THome home;
    std::string env = "KELVADORE_HOME=" + Q(home.Path) + " KELVADORE_TIME_SCALE=" + std::to_string(timeScale) + " ";
    if (!faults.empty()) env += "KELVADORE_VR_FAULTS=" + Q(faults) + " ";
    return env + Q(std::string(KV_CLI)) + " " + args;
}

// Start of the last track on the disc in `medium` (the last session), 0 for a single-track
// overwritable disc.
inline std::string LastTrackStart(const std::filesystem::path& medium) {
    TRun info = RunShell(CliCommand("media info " + Q(medium.string())));
    std::string start = "0";
    const std::string key = " data start ";
    for (size_t at = info.Output.find(key); at != std::string::npos; at = info.Output.find(key, at + 1))
        start = info.Output.substr(at + key.size(), info.Output.find(' ', at + key.size()) - at - key.size());
    return start;
}

// The disc in `medium` exported to `image` with the descriptors of the session starting at block
// `start` at sector 16, where single-session readers look. False when the export failed.
inline bool ExportSessionImage(const std::filesystem::path& medium, const std::filesystem::path& image,
                               const std::string& start) {
    if (RunShell(CliCommand("media export " + Q(medium.string()) + " " + Q(image.string()))).Status != 0) return false;
    std::string bytes = ReadFile(image);
    const size_t at = (std::stoul(start) + 16) * 2048;
    if (at != 16 * 2048 && bytes.size() > at + 16 * 2048) bytes.replace(16 * 2048, 16 * 2048, bytes, at, 16 * 2048);
    std::ofstream(image, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return true;
}

}  // namespace kv::test
