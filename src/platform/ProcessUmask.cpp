#include "platform/ProcessUmask.h"

#include <sys/stat.h>

#include <fstream>
#include <string>

namespace kv {

mode_t ProcessUmask() {
    // Linux 4.7 and later show it in the process's status.
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) != 0) continue;
        try {
            return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8)) & 0777;
        } catch (...) {
            break;
        }
    }
    // The usual mask of a user's session: what a group or others may read is not widened.
    return 022;
}

}  // namespace kv
