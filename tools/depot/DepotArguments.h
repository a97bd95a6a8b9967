#pragma once
// The command line of the depot commands: one path, then "--name value" options.
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvan::depot {

struct DepotArguments {
    std::string path;
    std::map<std::string, std::string, std::less<>> options;  // by name without "--"

    const std::string* Option(std::string_view name) const;
};

// Nullopt for a missing or second path, an option not in `known`, an option given twice or
// one without its value.
std::optional<DepotArguments> ParseDepotArguments(const std::vector<std::string>& args,
                                                  std::initializer_list<std::string_view> known);

}  // namespace zorvan::depot
