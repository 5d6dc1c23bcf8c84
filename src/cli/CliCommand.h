#pragma once
#include <functional>
#include <string>
#include <vector>

namespace kv::cli {

// A sub-command of kelvadore-cli. Each cmd_*.cpp registers its commands with a static
// TCliRegistration, so adding a command never touches another file.
struct TCliCommand {
    std::string Name;     // e.g. "drives", "media create"
    std::string Usage;    // one line: arguments
    std::string Summary;  // one line: what it does
    // Arguments after the command name; global options (--drive) already removed.
    std::function<int(const std::vector<std::string>& args)> Run;
};

struct TCliContext {
    std::string DriveId;  // --drive: identity string, device path or medium file; empty = first drive
};

TCliContext& Context();

class TCliRegistration {
public:
    explicit TCliRegistration(TCliCommand command);
};

const std::vector<TCliCommand>& RegisteredCommands();

}  // namespace kv::cli
