#pragma once
// The key-server entries of a configuration: "host:port" texts, checked and resolved.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "core/cert/dal/Dal.h"

namespace zorvan::dal {

struct ServerAddress {
    std::string host;
    uint16_t port = 0;
};

// The text of entry `index` (below DAL_MAX_SERVERS). An entry whose text runs on into the
// entries after it is longer than DAL_SERVER_ENTRY_SIZE characters: nullopt.
std::optional<std::string> ServerEntryText(const DalConfig& config, uint32_t index);

// A host (at least one character, no colon), a colon and a decimal port from 1000 to 65535;
// nullopt otherwise. As with a scanf "%[^:]:%u", blanks and a plus sign may precede the
// port and characters after its digits are ignored.
std::optional<ServerAddress> ParseServerEntry(std::string_view text);

enum class ResolveResult { Resolved, Unknown, NetworkUnavailable };

// Looks the host name up with the platform resolver; opens no connection.
ResolveResult ResolveHost(const std::string& host);

}  // namespace zorvan::dal
