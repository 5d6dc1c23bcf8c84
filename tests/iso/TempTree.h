#pragma once
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace kv::test {

// A scratch folder removed with its contents at the end of a test.
class TTempTree {
public:
    TTempTree() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kv-test-XXXXXX").string();
        root_ = ::mkdtemp(pattern.data()) ? pattern : std::string();
    }
    ~TTempTree() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    TTempTree(const TTempTree&) = delete;
    TTempTree& operator=(const TTempTree&) = delete;

    std::string Path(const std::string& relative) const { return root_ + "/" + relative; }
    // Writes `size` bytes of a position-dependent pattern (byte i = (i * 7 + seed) & 0xFF).
    std::string File(const std::string& relative, int64_t size, int seed = 1) const {
        std::string p = Path(relative);
        std::filesystem::create_directories(std::filesystem::path(p).parent_path());
        std::ofstream out(p, std::ios::binary);
        for (int64_t i = 0; i < size; ++i) out.put(static_cast<char>((i * 7 + seed) & 0xFF));
        return p;
    }
    // A sparse file of the given size (takes no disk space).
    std::string Sparse(const std::string& relative, int64_t size) const {
        std::string p = File(relative, 0);
        std::filesystem::resize_file(p, static_cast<uintmax_t>(size));
        return p;
    }
    const std::string& Root() const { return root_; }

private:
    std::string root_;
};

}  // namespace kv::test
