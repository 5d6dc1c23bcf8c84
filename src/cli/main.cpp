#include <algorithm>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/CliCommand.h"

namespace kv::cli {
namespace {

std::vector<TCliCommand>& Registry() {
    static std::vector<TCliCommand> commands;
    return commands;
}

void PrintHelp() {
    std::cout << "kelvadore-cli " << KELVADORE_VERSION << " - the scriptable front end of Kelvadore's engine\n\n"
              << "usage: kelvadore-cli [--drive ID] COMMAND [ARGS...]\n\n"
              << "  --drive ID   an identity string as 'drives' lists it, a device path such as /dev/sr0,\n"
              << "               or a medium file (selects a virtual recorder with that medium loaded)\n"
              << "  --help       this text\n  --version    the version\n\ncommands:\n";
    auto commands = Registry();
    std::sort(commands.begin(), commands.end(), [](auto& a, auto& b) { return a.Name < b.Name; });
    for (const auto& c : commands) {
        std::string head = "  " + c.Name + (c.Usage.empty() ? "" : " " + c.Usage);
        std::cout << head << "\n      " << c.Summary << "\n";
    }
}

}  // namespace

TCliContext& Context() {
    static TCliContext context;
    return context;
}

TCliRegistration::TCliRegistration(TCliCommand command) { Registry().push_back(std::move(command)); }

const std::vector<TCliCommand>& RegisteredCommands() { return Registry(); }

}  // namespace kv::cli

int main(int argc, char** argv) {
    using namespace kv::cli;
    std::vector<std::string> args(argv + 1, argv + argc);
    std::vector<std::string> rest;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            PrintHelp();
            return 0;
        }
        if (a == "--version") {
            std::cout << "kelvadore-cli " << KELVADORE_VERSION << "\n";
            return 0;
        }
        if (a == "--drive") {
            if (i + 1 >= args.size()) {
                std::cerr << "kelvadore-cli: --drive needs an argument\n";
                return 2;
            }
            Context().DriveId = args[++i];
            continue;
        }
        if (a.rfind("--drive=", 0) == 0) {
            Context().DriveId = a.substr(8);
            continue;
        }
        rest.push_back(a);
    }
    if (rest.empty()) {
        PrintHelp();
        return 2;
    }
    // Longest match first, so "media create" wins over a plain "media".
    const TCliCommand* best = nullptr;
    size_t bestWords = 0;
    for (const auto& c : RegisteredCommands()) {
        std::vector<std::string> words;
        size_t start = 0;
        while (start <= c.Name.size()) {
            size_t sp = c.Name.find(' ', start);
            words.push_back(c.Name.substr(start, sp == std::string::npos ? std::string::npos : sp - start));
            if (sp == std::string::npos) break;
            start = sp + 1;
        }
        if (words.size() > rest.size() || words.size() <= bestWords) continue;
        if (std::equal(words.begin(), words.end(), rest.begin())) {
            best = &c;
            bestWords = words.size();
        }
    }
    if (!best) {
        std::cerr << "kelvadore-cli: unknown command '" << rest[0] << "' (see --help)\n";
        return 2;
    }
    std::vector<std::string> commandArgs(rest.begin() + static_cast<long>(bestWords), rest.end());
    return best->Run(commandArgs);
}
