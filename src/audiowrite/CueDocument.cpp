#include "audiowrite/CueDocument.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <sstream>

namespace kv {
namespace {

constexpr int64_t kFramesPerMinute = 4500;

std::string Upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

// The words of one line; a double-quoted word keeps its spaces. False for an unclosed quote.
bool SplitWords(const std::string& line, std::vector<std::string>& words) {
    words.clear();
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
        if (i >= line.size()) break;
        if (line[i] == '"') {
            const size_t close = line.find('"', i + 1);
            if (close == std::string::npos) return false;
            words.push_back(line.substr(i + 1, close - i - 1));
            i = close + 1;
        } else {
            size_t end = i;
            while (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end]))) ++end;
            words.push_back(line.substr(i, end - i));
            i = end;
        }
    }
    return true;
}

bool ParseTime(const std::string& text, int64_t& frames) {
    unsigned m = 0, s = 0, f = 0;
    char extra = 0;
    if (std::sscanf(text.c_str(), "%u:%u:%u%c", &m, &s, &f, &extra) != 3 || s >= 60 || f >= 75 || m > 99)
        return false;
    frames = int64_t{m} * kFramesPerMinute + int64_t{s} * 75 + f;
    return true;
}

bool ParseNumber(const std::string& text, int low, int high, int& value) {
    if (text.empty() || text.size() > 2 ||
        !std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); }))
        return false;
    value = std::stoi(text);
    return value >= low && value <= high;
}

// ISRC: country and owner (5 letters or digits), year and serial (7 digits).
bool ValidIsrcCode(const std::string& code) {
    if (code.size() != 12) return false;
    for (size_t i = 0; i < code.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(code[i]);
        if (i < 5 ? !(std::isdigit(c) || (c >= 'A' && c <= 'Z')) : !std::isdigit(c)) return false;
    }
    return true;
}

struct TTypeName {
    const char* Name;
    TCueTrackType Type;
};
constexpr TTypeName kTrackTypes[] = {{"AUDIO", TCueTrackType::Audio},
                                     {"MODE1/2048", TCueTrackType::Mode1Cooked},
                                     {"MODE1/2352", TCueTrackType::Mode1Raw},
                                     {"MODE2/2352", TCueTrackType::Mode2Raw}};
// Track types of the format that this burner does not write.
constexpr const char* kRefusedTrackTypes[] = {"CDG", "MODE2/2336", "CDI/2336", "CDI/2352"};
constexpr const char* kRefusedFileTypes[] = {"MOTOROLA", "AIFF", "MP3"};

class TParser {
public:
    explicit TParser(TCueDocument& doc) : doc_(doc) {}

    bool Line(int number, const std::string& raw, std::string& error) {
        line_ = number;
        error_ = &error;
        std::vector<std::string> w;
        if (!SplitWords(raw, w)) return Fail("UNCLOSED QUOTE");
        if (w.empty()) return true;
        const std::string key = Upper(w[0]);
        if (key == "REM") return true;
        if (key == "CATALOG") return Catalog(w);
        if (key == "FILE") return File(w);
        if (key == "TRACK") return Track(w);
        if (key == "INDEX") return Index(w);
        if (key == "PREGAP") return Pregap(w);
        if (key == "FLAGS") return Flags(w);
        if (key == "ISRC") return Isrc(w);
        if (TCueTexts* texts = TextsFor(); texts && IsTextKey(key)) return Text(*texts, key, w);
        if (key == "POSTGAP" || key == "CDTEXTFILE") return Fail(key + " IS NOT SUPPORTED");
        return Fail("UNKNOWN KEYWORD " + key);
    }

    bool Finish(std::string& error) {
        error_ = &error;
        line_ = 0;
        if (doc_.Files.empty()) return Fail("NO FILE");
        if (!EndTrack()) return false;
        for (const TCueFile& f : doc_.Files)
            if (f.Tracks.empty()) return Fail("FILE \"" + f.Name + "\" HAS NO TRACK");
        return true;
    }

private:
    bool Fail(const std::string& what) {
        *error_ = line_ > 0 ? "CUE SHEET LINE " + std::to_string(line_) + ": " + what : "CUE SHEET: " + what;
        return false;
    }
    TCueTrack* Current() {
        if (doc_.Files.empty() || doc_.Files.back().Tracks.empty()) return nullptr;
        return &doc_.Files.back().Tracks.back();
    }
    TCueTexts* TextsFor() {
        if (TCueTrack* t = Current()) return &t->Texts;
        return &doc_.Texts;
    }
    static bool IsTextKey(const std::string& key) {
        return key == "TITLE" || key == "PERFORMER" || key == "SONGWRITER" || key == "COMPOSER" || key == "ARRANGER" ||
               key == "MESSAGE";
    }
    bool Text(TCueTexts& texts, const std::string& key, const std::vector<std::string>& w) {
        if (w.size() != 2) return Fail(key + " NEEDS ONE (QUOTED) TEXT");
        std::string* field = key == "TITLE"        ? &texts.Title
                             : key == "PERFORMER"  ? &texts.Performer
                             : key == "SONGWRITER" ? &texts.Songwriter
                             : key == "COMPOSER"   ? &texts.Composer
                             : key == "ARRANGER"   ? &texts.Arranger
                                                   : &texts.Message;
        *field = w[1];
        return true;
    }
    bool Catalog(const std::vector<std::string>& w) {
        if (w.size() != 2 || w[1].size() != 13 ||
            !std::all_of(w[1].begin(), w[1].end(), [](unsigned char c) { return std::isdigit(c); }))
            return Fail("CATALOG NEEDS 13 DIGITS");
        if (Current()) return Fail("CATALOG BELONGS BEFORE THE FIRST TRACK");
        doc_.Catalog = w[1];
        return true;
    }
    bool File(const std::vector<std::string>& w) {
        if (w.size() != 3 || w[1].empty()) return Fail("FILE NEEDS A NAME AND A TYPE");
        if (const TCueTrack* t = Current(); t && t->HasIndexZero() && t->Indexes.size() == 1)
            return Fail("A TRACK THAT SPANS TWO FILES IS NOT SUPPORTED");
        if (!EndTrack()) return false;
        const std::string type = Upper(w[2]);
        for (const char* refused : kRefusedFileTypes)
            if (type == refused) return Fail("FILE TYPE " + type + " IS NOT SUPPORTED");
        TCueFile f;
        f.Name = w[1];
        if (type == "BINARY")
            f.Type = TCueFileType::Binary;
        else if (type == "WAVE")
            f.Type = TCueFileType::Wave;
        else
            return Fail("UNKNOWN FILE TYPE " + type);
        doc_.Files.push_back(std::move(f));
        lastFrames_ = 0;
        filePositions_ = 0;
        return true;
    }
    bool Track(const std::vector<std::string>& w) {
        if (doc_.Files.empty()) return Fail("TRACK BEFORE THE FIRST FILE");
        int number = 0;
        if (w.size() != 3 || !ParseNumber(w[1], 1, 99, number)) return Fail("TRACK NEEDS A NUMBER FROM 01 TO 99 AND A TYPE");
        if (number != doc_.TrackCount() + 1) return Fail("TRACK " + w[1] + " IS OUT OF ORDER");
        if (!EndTrack()) return false;
        const std::string type = Upper(w[2]);
        for (const char* refused : kRefusedTrackTypes)
            if (type == refused) return Fail("TRACK TYPE " + type + " IS NOT SUPPORTED");
        TCueTrack t;
        t.Number = static_cast<uint8_t>(number);
        const auto known = std::find_if(std::begin(kTrackTypes), std::end(kTrackTypes),
                                        [&](const TTypeName& n) { return type == n.Name; });
        if (known == std::end(kTrackTypes)) return Fail("UNKNOWN TRACK TYPE " + type);
        t.Type = known->Type;
        if (doc_.Files.back().Type == TCueFileType::Wave && !IsAudioTrack(t.Type))
            return Fail("A WAVE FILE HOLDS AUDIO TRACKS ONLY");
        doc_.Files.back().Tracks.push_back(std::move(t));
        return true;
    }
    bool Index(const std::vector<std::string>& w) {
        TCueTrack* t = Current();
        int number = 0;
        int64_t frames = 0;
        if (w.size() != 3 || !ParseNumber(w[1], 0, 99, number) || !ParseTime(w[2], frames))
            return Fail("INDEX NEEDS A NUMBER AND A TIME MM:SS:FF");
        if (!t) return Fail("INDEX OUTSIDE A TRACK");
        const int expected = t->Indexes.empty() ? (number == 0 ? 0 : 1) : t->Indexes.back().Number + 1;
        if (number != expected) return Fail("INDEX " + w[1] + " IS OUT OF ORDER");
        if (number == 0 && t->Pregap > 0) return Fail("PREGAP AND INDEX 00 ON ONE TRACK ARE NOT SUPPORTED");
        if (filePositions_ > 0 && frames <= lastFrames_) return Fail("INDEX TIMES MUST INCREASE");
        if (filePositions_ == 0 && frames != 0) return Fail("THE FIRST INDEX OF A FILE MUST BE AT 00:00:00");
        lastFrames_ = frames;
        ++filePositions_;
        t->Indexes.push_back({static_cast<uint8_t>(number), frames});
        return true;
    }
    bool Pregap(const std::vector<std::string>& w) {
        TCueTrack* t = Current();
        int64_t frames = 0;
        if (!t) return Fail("PREGAP OUTSIDE A TRACK");
        if (w.size() != 2 || !ParseTime(w[1], frames)) return Fail("PREGAP NEEDS A TIME MM:SS:FF");
        if (!t->Indexes.empty()) return Fail("PREGAP BELONGS BEFORE THE TRACK'S INDEX LINES");
        t->Pregap = frames;
        return true;
    }
    bool Flags(const std::vector<std::string>& w) {
        TCueTrack* t = Current();
        if (!t) return Fail("FLAGS OUTSIDE A TRACK");
        for (size_t i = 1; i < w.size(); ++i) {
            const std::string flag = Upper(w[i]);
            if (flag == "DCP")
                t->CopyPermitted = true;
            else if (flag == "4CH")
                t->FourChannel = true;
            else if (flag == "PRE")
                t->PreEmphasis = true;
            else if (flag == "SCMS")
                return Fail("FLAGS SCMS IS NOT SUPPORTED");
            else
                return Fail("UNKNOWN FLAG " + flag);
        }
        return true;
    }
    bool Isrc(const std::vector<std::string>& w) {
        TCueTrack* t = Current();
        if (!t) return Fail("ISRC OUTSIDE A TRACK");
        const std::string code = w.size() == 2 ? Upper(w[1]) : std::string();
        if (!ValidIsrcCode(code)) return Fail("ISRC NEEDS 5 LETTERS OR DIGITS AND 7 DIGITS");
        if (!IsAudioTrack(t->Type)) return Fail("ISRC ON A DATA TRACK");
        t->Isrc = code;
        return true;
    }
    // Checks the track that ends: it needs its INDEX 01.
    bool EndTrack() {
        const TCueTrack* t = Current();
        if (t && (t->Indexes.empty() || t->Indexes.back().Number == 0))
            return Fail("TRACK " + std::to_string(t->Number) + " HAS NO INDEX 01");
        return true;
    }

    TCueDocument& doc_;
    std::string* error_ = nullptr;
    int line_ = 0;
    int64_t lastFrames_ = 0;  // of the last index point in the current file
    int filePositions_ = 0;
};

}  // namespace

int64_t TCueTrack::Start() const {
    for (const TCueIndex& i : Indexes)
        if (i.Number == 1) return i.Frames;
    return Indexes.empty() ? 0 : Indexes.front().Frames;
}

int TCueDocument::TrackCount() const {
    int n = 0;
    for (const TCueFile& f : Files) n += static_cast<int>(f.Tracks.size());
    return n;
}

bool TCueDocument::HasTexts() const {
    if (!Texts.Empty()) return true;
    for (const TCueFile& f : Files)
        for (const TCueTrack& t : f.Tracks)
            if (!t.Texts.Empty()) return true;
    return false;
}

uint32_t CueSectorBytes(TCueTrackType type) { return type == TCueTrackType::Mode1Cooked ? 2048 : 2352; }

bool IsAudioTrack(TCueTrackType type) { return type == TCueTrackType::Audio; }

const char* CueTrackTypeName(TCueTrackType type) {
    for (const TTypeName& n : kTrackTypes)
        if (n.Type == type) return n.Name;
    return "AUDIO";
}

std::string CueTime(int64_t frames) {
    char text[64];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld", static_cast<long long>(frames / kFramesPerMinute),
                  static_cast<long long>((frames / 75) % 60), static_cast<long long>(frames % 75));
    return text;
}

bool ParseCueSheet(const std::string& text, TCueDocument& document, std::string& error) {
    document = TCueDocument{};
    TParser parser(document);
    std::istringstream in(text);
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        if (number == 1 && line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);  // UTF-8 byte order mark
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!parser.Line(number, line, error)) return false;
    }
    return parser.Finish(error);
}

std::string CueSheetText(const TCueDocument& document) {
    std::ostringstream o;
    auto texts = [&o](const TCueTexts& t, const char* indent) {
        const std::pair<const char*, const std::string*> fields[] = {
            {"TITLE", &t.Title},       {"PERFORMER", &t.Performer}, {"SONGWRITER", &t.Songwriter},
            {"COMPOSER", &t.Composer}, {"ARRANGER", &t.Arranger},   {"MESSAGE", &t.Message}};
        for (const auto& [key, value] : fields)
            if (!value->empty()) o << indent << key << " \"" << *value << "\"\n";
    };
    if (!document.Catalog.empty()) o << "CATALOG " << document.Catalog << "\n";
    texts(document.Texts, "");
    for (const TCueFile& f : document.Files) {
        o << "FILE \"" << f.Name << "\" " << (f.Type == TCueFileType::Wave ? "WAVE" : "BINARY") << "\n";
        for (const TCueTrack& t : f.Tracks) {
            char number[8];
            std::snprintf(number, sizeof number, "%02u", unsigned{t.Number});
            o << "  TRACK " << number << " " << CueTrackTypeName(t.Type) << "\n";
            texts(t.Texts, "    ");
            if (t.CopyPermitted || t.FourChannel || t.PreEmphasis)
                o << "    FLAGS" << (t.CopyPermitted ? " DCP" : "") << (t.FourChannel ? " 4CH" : "")
                  << (t.PreEmphasis ? " PRE" : "") << "\n";
            if (!t.Isrc.empty()) o << "    ISRC " << t.Isrc << "\n";
            if (t.Pregap > 0) o << "    PREGAP " << CueTime(t.Pregap) << "\n";
            for (const TCueIndex& i : t.Indexes) {
                std::snprintf(number, sizeof number, "%02u", unsigned{i.Number});
                o << "    INDEX " << number << " " << CueTime(i.Frames) << "\n";
            }
        }
    }
    return o.str();
}

}  // namespace kv
