#include "cli/JobFollower.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>

#include "cli/InterruptWatch.h"

namespace kv::cli {

void PrintJobMessage(const jobs::TJobMessage& m) {
    const bool problem = m.Severity == jobs::TSeverity::Error || m.Severity == jobs::TSeverity::Warning;
    (problem ? std::cerr : std::cout) << m.Text << std::endl;
}

std::string WriteProgressLine(const jobs::TJobProgress& p) {
    char line[160];
    std::snprintf(line, sizeof line, "%3d%% written (%lld of %lld MB), drive buffer %3d%%, cache %3d%%", p.Percent,
                  static_cast<long long>(p.BytesDone >> 20), static_cast<long long>(p.BytesTotal >> 20),
                  p.DriveBufferPercent, p.CacheFillPercent);
    return line;
}

int FollowJob(const std::string& command, jobs::TJob& job,
              const std::function<std::string(const jobs::TJobProgress&)>& progressLine) {
    TInterruptWatch interrupt([&job] { job.Cancel(); });
    std::string whyNot;
    if (!job.Start(&whyNot)) {
        std::cerr << "kelvadore-cli: " << command << ": " << whyNot << "\n";
        return 1;
    }
    const bool terminal = progressLine && ::isatty(STDERR_FILENO) != 0;
    size_t shown = 0;
    // Wall time: this is about what a person sees, not about the drive. The wait ends as soon as
    // the job does, so a short command is not held up by the progress line.
    for (int tick = 0; !job.WaitUntilFinished(std::chrono::milliseconds(20)); ++tick) {
        if (terminal && tick % 12 == 0) {
            const std::string line = progressLine(job.Progress());
            std::fprintf(stderr, "\r%s", line.c_str());
            std::fflush(stderr);
            shown = std::max(shown, line.size());
        }
    }
    job.Wait();
    if (shown > 0) std::fprintf(stderr, "\r%*s\r", static_cast<int>(shown), "");
    const jobs::TJobResult result = job.Result();
    if (result.Ok) return 0;
    std::cerr << "kelvadore-cli: " << command << ": "
              << (result.Error.empty() ? "the operation did not complete" : result.Error) << "\n";
    return interrupt.Interrupted() ? kInterruptedExitStatus : 1;
}

}  // namespace kv::cli
