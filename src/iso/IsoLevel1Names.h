#pragma once
#include <string>
#include <unordered_map>
#include <unordered_set>

#include "iso/IsoEntries.h"

namespace kv {

// Strict ISO 9660 names for the short-name side of the compilation. Linux keeps no 8.3 names,
// so the caller asks this helper for one per entry while it hands its tree to the burner:
// interchange level 1 (ISO 9660 10.1) -- d-characters A-Z 0-9 _ only, files 8.3 with the
// separator dot always present, directories 8 characters without extension -- and unique within
// their directory. A clash takes a numeric tail "0N" at the end of the 8 characters (IMG_2001.JPG,
// FILE0299.TXT, SAME8C01), shortening the base name as needed: the "~N" of other systems is not a
// d-character, and strict readers and players refuse it.
class TIsoLevel1Namer {
public:
    // `directoryKey` identifies the directory the entry goes into (any stable text); names are
    // unique per key.
    std::string Allocate(const std::string& directoryKey, const std::string& longName, bool isDirectory);
    // The same for a directory of the model. The first time the namer meets
    // the directory, the names its entries already carry (from another namer, or a session
    // imported earlier) count as taken.
    std::string Allocate(const TDEntry& dir, const std::string& longName, bool isDirectory);
    void Clear() { used_.clear(); }

    // The level-1 form of a name before uniqueness is applied.
    static std::string BaseForm(const std::string& longName, bool isDirectory);
    // True when `name` is a level-1 identifier (without ";1"): d-characters only, 8.3.
    static bool IsValid(const std::string& name, bool isDirectory);

private:
    std::unordered_map<std::string, std::unordered_set<std::string>> used_;
};

}  // namespace kv
