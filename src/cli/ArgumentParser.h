#pragma once
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

namespace kv::cli {

// The option grammar every sub-command shares: switches ("--test"), options that take the next
// argument ("--volume NAME", several spellings allowed), positional arguments, and "--" after
// which everything is positional (so a file named "-x" can be written).
class TArgumentParser {
public:
    void Switch(std::initializer_list<const char*> names, bool& into, bool value = true) {
        for (const char* n : names) switches_.push_back({n, {&into, value}});
    }
    void Option(std::initializer_list<const char*> names, std::string& into) {
        for (const char* n : names) options_.push_back({n, &into});
    }

    // Fills the bound fields and `positional`; false with `problem` set on an unknown option or
    // an option without its argument.
    bool Parse(const std::vector<std::string>& args, std::vector<std::string>& positional, std::string& problem) const {
        for (size_t i = 0; i < args.size(); ++i) {
            const std::string& a = args[i];
            if (a == "--") {
                positional.insert(positional.end(), args.begin() + static_cast<long>(i) + 1, args.end());
                return true;
            }
            if (auto* s = Find(switches_, a)) {
                *s->first = s->second;
                continue;
            }
            if (auto* o = Find(options_, a)) {
                if (i + 1 >= args.size()) {
                    problem = a + " needs an argument";
                    return false;
                }
                **o = args[++i];
                continue;
            }
            if (a.size() > 1 && a[0] == '-') {
                problem = "unknown option " + a;
                return false;
            }
            positional.push_back(a);
        }
        return true;
    }

private:
    template <typename T>
    static const T* Find(const std::vector<std::pair<std::string, T>>& list, const std::string& name) {
        for (const auto& [n, target] : list)
            if (n == name) return &target;
        return nullptr;
    }

    std::vector<std::pair<std::string, std::pair<bool*, bool>>> switches_;
    std::vector<std::pair<std::string, std::string*>> options_;
};

}  // namespace kv::cli
