#include "iso/HostFileInfo.h"

#include <sys/stat.h>

namespace kv {

std::optional<TFileDescription> DescribeHostFile(const std::string& path) {
    struct stat st {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0) return std::nullopt;
    TFileDescription d;
    size_t slash = path.find_last_of('/');
    d.Name = slash == std::string::npos ? path : path.substr(slash + 1);
    d.Size = S_ISDIR(st.st_mode) ? 0 : static_cast<int64_t>(st.st_size);
    d.Attributes = S_ISDIR(st.st_mode) ? kAttrDirectory : 0;
    d.ModificationTime =
        TLocalDateTime::FromUnixTime(st.st_mtim.tv_sec, static_cast<int>(st.st_mtim.tv_nsec / 1000000));
    return d;
}

}  // namespace kv
