// kelvadore-cli watch: prints every disc put into or taken out of a drive until interrupted.
#include <chrono>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/ArgumentParser.h"
#include "cli/CliCommand.h"
#include "cli/InterruptWatch.h"
#include "jobs/MediaMonitor.h"

namespace kv::cli {
namespace {

int RunWatch(const std::vector<std::string>& args) {
    TArgumentParser parser;
    std::string countText, problem;
    std::vector<std::string> rest;
    parser.Option({"--count"}, countText);
    const bool parsed = parser.Parse(args, rest, problem);
    const int count = countText.empty() ? -1 : std::atoi(countText.c_str());
    if (!parsed || !rest.empty() || (!countText.empty() && count < 1)) {
        std::cerr << "kelvadore-cli: watch: " << (problem.empty() ? "usage: watch [--count N]" : problem) << "\n";
        return 2;
    }
    std::mutex mutex;
    int seen = 0;
    jobs::TMediaMonitor monitor;
    monitor.OnMediaChange = [&](const jobs::TMediaChange& change) {
        std::lock_guard lock(mutex);
        std::cout << (change.Inserted ? "inserted: " : "ejected: ") << change.Device << std::endl;
        ++seen;
    };
    if (!monitor.Start()) {
        std::cerr << "kelvadore-cli: watch: cannot watch for media changes\n";
        return 1;
    }
    if (!monitor.WatchesRealDrives())
        std::cerr << "kelvadore-cli: watch: no access to the kernel's drive events; watching virtual recorders only\n";
    std::cout << "watching (Ctrl-C ends)" << std::endl;
    TInterruptWatch interrupt([] {});
    for (;;) {
        {
            std::lock_guard lock(mutex);
            if (count > 0 && seen >= count) break;
        }
        if (interrupt.Interrupted()) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    monitor.Stop();
    return 0;
}

const TCliRegistration kWatch({"watch", "[--count N]",
                               "print each disc put into or taken out of a drive, until interrupted (or N changes)",
                               RunWatch});

}  // namespace
}  // namespace kv::cli
