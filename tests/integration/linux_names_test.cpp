// Linux folders as they are, through the command line with a quickened clock.
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "LinuxNamesScenario.h"

namespace kv {
namespace {

TEST(LinuxNamesTest, AwkwardFolderIsBurnedAsItIsOrRefusedBeforeAnyWrite) {
    for (const char* tool : {"isoinfo", "xorriso", "/usr/bin/python3"})
        if (!test::HaveTool(tool)) GTEST_SKIP() << tool << " is not installed";
    test::TLinuxNamesScenario(std::filesystem::temp_directory_path() / ("kv-linux-names-" + std::to_string(::getpid())),
                              5000)
        .Run();
}

}  // namespace
}  // namespace kv
