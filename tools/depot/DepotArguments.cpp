#include "tools/depot/DepotArguments.h"

#include <algorithm>

namespace zorvan::depot {

const std::string* DepotArguments::Option(std::string_view name) const {
    const auto found = options.find(name);
    return found == options.end() ? nullptr : &found->second;
}

std::optional<DepotArguments> ParseDepotArguments(const std::vector<std::string>& args,
                                                  std::initializer_list<std::string_view> known) {
    DepotArguments parsed;
    bool havePath = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        if (word.rfind("--", 0) != 0) {
            if (havePath) {
                return std::nullopt;
            }
            parsed.path = word;
            havePath = true;
            continue;
        }
        const std::string name = word.substr(2);
        if (std::find(known.begin(), known.end(), name) == known.end() ||
            parsed.options.count(name) != 0 || i + 1 == args.size()) {
            return std::nullopt;
        }
        parsed.options.emplace(name, args[++i]);
    }
    if (!havePath || parsed.path.empty()) {
        return std::nullopt;
    }
    return parsed;
}

}  // namespace zorvan::depot
