#pragma once
#include <set>
#include <string>
#include <vector>

namespace kv {

// The WAV folder as Kelvadore uses it: picks output names that never replace a source, a file the
// user put there, or another output of the same run, and remembers (in a list file in the folder)
// which files Kelvadore wrote, so that cleaning removes those and nothing else.
class TWavOutputFolder {
public:
    static constexpr const char* kListName = ".kelvadore-written";

    explicit TWavOutputFolder(std::string folder);

    const std::string& Folder() const { return folder_; }
    // Forgets the names taken by the previous run.
    void StartRun();
    // The folder + the source's name without extension + ".wav"; " (2)", " (3)", ... before ".wav"
    // when that name is already taken.
    std::string ChooseOutputPath(const std::string& source, const std::vector<std::string>& sources);
    // Records a file as written by Kelvadore (before writing it, so a crash leaves it listed).
    bool RecordWritten(const std::string& path);
    // Deletes every listed file that is still in the folder, then the list; returns the count deleted.
    int DeleteWritten();

private:
    std::set<std::string> ReadList() const;
    bool IsTaken(const std::string& path, const std::vector<std::string>& sources,
                 const std::set<std::string>& written) const;

    std::string folder_;
    std::set<std::string> usedThisRun_;
};

}  // namespace kv
