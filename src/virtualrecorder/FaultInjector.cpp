#include "virtualrecorder/FaultInjector.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <utility>

namespace kv::vr {
namespace {

constexpr std::array<std::pair<const char*, uint8_t>, 27> kOpcodeNames{{
    {"TUR", 0x00},
    {"REZERO", 0x01},
    {"REQUEST_SENSE", 0x03},
    {"FORMAT", 0x04},
    {"INQUIRY", 0x12},
    {"START_STOP", 0x1B},
    {"PREVENT_ALLOW", 0x1E},
    {"READ_FORMAT_CAPACITIES", 0x23},
    {"READ_CAPACITY", 0x25},
    {"READ", 0x28},
    {"WRITE", 0x2A},
    {"SYNC", 0x35},
    {"READ_TOC", 0x43},
    {"GET_CONFIGURATION", 0x46},
    {"READ_DISC_INFO", 0x51},
    {"READ_TRACK_INFO", 0x52},
    {"RESERVE", 0x53},
    {"SEND_OPC", 0x54},
    {"MODE_SELECT", 0x55},
    {"MODE_SENSE", 0x5A},
    {"CLOSE", 0x5B},
    {"READ_BUFFER_CAPACITY", 0x5C},
    {"SEND_CUE_SHEET", 0x5D},
    {"BLANK", 0xA1},
    {"SET_STREAMING", 0xB6},
    {"SET_CD_SPEED", 0xBB},
    {"READ_CD", 0xBE},
}};

std::string Trim(std::string s) {
    auto notSpace = [](unsigned char c) { return !std::isspace(c); };
    s.erase(s.begin(), std::find_if(s.begin(), s.end(), notSpace));
    s.erase(std::find_if(s.rbegin(), s.rend(), notSpace).base(), s.end());
    return s;
}

bool ParseHexByte(std::string s, uint8_t& out) {
    if (!s.empty() && (s.back() == 'h' || s.back() == 'H')) s.pop_back();
    if (s.empty() || s.size() > 2) return false;
    unsigned v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 16);
    if (ec != std::errc() || p != s.data() + s.size()) return false;
    out = static_cast<uint8_t>(v);
    return true;
}

bool ParseCount(const std::string& s, uint32_t& out) {
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
    return ec == std::errc() && p == s.data() + s.size() && out > 0;
}

}  // namespace

bool TFaultInjector::ParseRule(const std::string& input, TFaultRule& rule, std::string& error) {
    std::string text = Trim(input);
    rule = TFaultRule{};
    error = "bad fault rule '" + text + "'";
    if (auto star = text.rfind('*'); star != std::string::npos) {
        if (!ParseCount(text.substr(star + 1), rule.Times)) return false;
        text.erase(star);
    }
    size_t cut = text.find_first_of("@=:");
    std::string op = text.substr(0, cut);
    std::string upper = op;
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return std::toupper(c); });
    auto named = std::find_if(kOpcodeNames.begin(), kOpcodeNames.end(),
                              [&](const auto& n) { return upper == n.first; });
    if (named != kOpcodeNames.end()) {
        rule.Opcode = named->second;
    } else if (!ParseHexByte(op, rule.Opcode)) {
        return false;
    }
    std::string rest = cut == std::string::npos ? std::string() : text.substr(cut);
    if (!rest.empty() && rest[0] == '@') {
        size_t end = rest.find_first_of("=:");
        if (!ParseCount(rest.substr(1, end == std::string::npos ? std::string::npos : end - 1),
                        rule.FromCall))
            return false;
        rest = end == std::string::npos ? std::string() : rest.substr(end);
    }
    if (rest.empty()) return false;
    if (rest[0] == '=') {
        std::string s = rest.substr(1);
        size_t a = s.find('/'), b = s.find('/', a == std::string::npos ? a : a + 1);
        if (a == std::string::npos || b == std::string::npos) return false;
        if (!ParseHexByte(s.substr(0, a), rule.Sense.Key) ||
            !ParseHexByte(s.substr(a + 1, b - a - 1), rule.Sense.Asc) ||
            !ParseHexByte(s.substr(b + 1), rule.Sense.Ascq) || rule.Sense.Key > 0xF)
            return false;
        rule.Action = EFaultAction::Sense;
    } else {
        const std::string kind = rest.substr(1);
        if (kind == "busy")
            rule.Action = EFaultAction::Busy;
        else if (kind == "notready")
            rule.Action = EFaultAction::NotReady;
        else if (kind == "timeout")
            rule.Action = EFaultAction::Timeout;
        else if (kind == "ioerror")
            rule.Action = EFaultAction::IoError;
        else if (kind == "remove")
            rule.Action = EFaultAction::Remove;
        else
            return false;
    }
    error.clear();
    return true;
}

namespace {

// "unreadable@LBA[*K]" or "weak@LBA[*K]"; false when `text` is no damaged-block rule at all.
bool ParseSectorRule(const std::string& text, int32_t& first, uint32_t& count, bool& weak, bool& valid) {
    std::string lower = text;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    const bool unreadable = lower.rfind("unreadable@", 0) == 0;
    weak = lower.rfind("weak@", 0) == 0;
    if (!unreadable && !weak) return false;
    std::string rest = text.substr(lower.find('@') + 1);
    count = 1;
    if (auto star = rest.find('*'); star != std::string::npos) {
        valid = ParseCount(rest.substr(star + 1), count);
        rest.erase(star);
        if (!valid) return true;
    }
    auto [p, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), first);
    valid = ec == std::errc() && p == rest.data() + rest.size() && !rest.empty();
    return true;
}

}  // namespace

bool TFaultInjector::AddScript(const std::string& script, std::string& error) {
    struct TSectorRule {
        int32_t First;
        uint32_t Count;
        bool Weak;
    };
    std::vector<TSectorRule> damaged;
    std::vector<TFaultRule> parsed;
    size_t start = 0;
    while (start <= script.size()) {
        size_t end = script.find(';', start);
        std::string part =
            Trim(script.substr(start, end == std::string::npos ? std::string::npos : end - start));
        int32_t first = 0;
        uint32_t count = 0;
        bool weak = false, valid = false;
        if (!part.empty() && ParseSectorRule(part, first, count, weak, valid)) {
            if (!valid) {
                error = "bad fault rule '" + part + "'";
                return false;
            }
            damaged.push_back({first, count, weak});
        } else if (!part.empty()) {
            TFaultRule rule;
            if (!ParseRule(part, rule, error)) return false;
            parsed.push_back(rule);
        }
        if (end == std::string::npos) break;
        start = end + 1;
    }
    for (const auto& rule : parsed) Add(rule);
    for (const auto& d : damaged) sectors_.Add(d.First, d.Count, d.Weak);
    return true;
}

void TFaultInjector::Add(const TFaultRule& rule) {
    std::lock_guard lock(mutex_);
    rules_.push_back(rule);
    rules_.back().FromCall += calls_[rule.Opcode];  // calls are counted from now on
}

void TFaultInjector::Clear() {
    std::lock_guard lock(mutex_);
    rules_.clear();
    calls_.clear();
    sectors_.Clear();
}

std::optional<TFaultRule> TFaultInjector::OnCommand(uint8_t opcode) {
    std::lock_guard lock(mutex_);
    const uint32_t call = ++calls_[opcode];
    for (const auto& r : rules_)
        if (r.Opcode == opcode && call >= r.FromCall && call - r.FromCall < r.Times) return r;
    return std::nullopt;
}

}  // namespace kv::vr
