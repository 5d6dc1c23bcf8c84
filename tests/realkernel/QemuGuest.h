// Shell commands in the real-kernel guest (qemu-cdrom/run.sh): a Linux kernel with its own CD-ROM,
// ISO 9660 and UDF drivers, an emulated drive holding an image.
#pragma once
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "CliShell.h"

namespace kv::test {

struct TGuestRun {
    bool Available = false;  // false: the guest could not be set up here (no QEMU, no kernel package)
    int Status = -1;         // the commands' exit status
    std::string Output;      // what they printed, without run.sh's marker lines
    std::string Log;         // all of run.sh's output, for failure messages
};

inline bool QemuInstalled() {
    return HaveTool("qemu-system-x86_64");
}

// Runs `commands` (busybox sh) with `image` in the guest's drive.
inline TGuestRun RunInGuest(const std::filesystem::path& image, const std::string& commands,
                            int timeoutSeconds = 300) {
    const std::filesystem::path script =
        std::filesystem::temp_directory_path() / ("kv-guest-" + std::to_string(::getpid()) + ".cmd");
    std::ofstream(script) << commands;
    const TRun r = RunShell(Q(KV_QEMU_RUN) + " --timeout " + std::to_string(timeoutSeconds) + " " +
                            Q(image.string()) + " " + Q(script.string()));
    std::filesystem::remove(script);
    TGuestRun g;
    g.Log = r.Output;
    g.Available = r.Status != 2;
    const std::string begin = "===== qemu-cdrom: output of ",
                      end = "\n===== qemu-cdrom: end of output (exit status ";
    const size_t from = r.Output.find('\n', r.Output.find(begin));
    const size_t to = r.Output.find(end);
    if (from == std::string::npos || to == std::string::npos || to < from) return g;
    g.Output = r.Output.substr(from + 1, to - from);
    g.Status = std::stoi(r.Output.substr(to + end.size()));
    return g;
}

}  // namespace kv::test
