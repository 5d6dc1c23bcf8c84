#pragma once
#include <string>

#include "iso/TBurnerImage.h"

namespace kv::cli {

inline constexpr const char* kUdfUsage = "[--udf auto|on|off] [--udf-revision 2.01|1.02]";

// --udf and --udf-revision, shared by burn and mkiso: auto (the default) puts UDF beside ISO 9660
// on DVD and BD media and in images; 1.02 is for DVD players that read nothing later.
inline bool ApplyUdfOptions(const std::string& choice, const std::string& revision, TBurnerImage& image,
                            std::string& problem) {
    if (choice.empty() || choice == "auto")
        image.UdfChoice = TUdfChoice::Auto;
    else if (choice == "on")
        image.UdfChoice = TUdfChoice::On;
    else if (choice == "off")
        image.UdfChoice = TUdfChoice::Off;
    else
        problem = "--udf takes auto, on or off, got '" + choice + "'";
    if (revision.empty() || revision == "2.01")
        image.UdfRevision = kUdfRevision201;
    else if (revision == "1.02")
        image.UdfRevision = kUdfRevision102;
    else
        problem = "--udf-revision takes 2.01 or 1.02, got '" + revision + "'";
    return problem.empty();
}

}  // namespace kv::cli
