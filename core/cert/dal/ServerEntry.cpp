#include "core/cert/dal/ServerEntry.h"

#if defined(_WIN32)
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdio>
#else
#include <netdb.h>
#include <sys/socket.h>
#endif

#include <array>
#include <cstring>

namespace zorvan::dal {
namespace {

constexpr uint32_t kLowestPort = 1000;
constexpr uint32_t kHighestPort = 65535;

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

#if defined(_WIN32)
bool SocketsStarted() {
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        std::printf("WSAStartup() failed: WSAGetLastError=%u\n",
                    static_cast<unsigned>(WSAGetLastError()));
        return false;
    }
    return true;
}
#endif

}  // namespace

std::optional<std::string> ServerEntryText(const DalConfig& config, uint32_t index) {
    // Entries lie back to back: an unterminated entry continues into the next one, and the
    // last one ends at the end of the table at the latest.
    std::array<char, sizeof config.servers + 1> flat{};
    std::memcpy(flat.data(), config.servers, sizeof config.servers);
    const char* text = flat.data() + static_cast<size_t>(index) * DAL_SERVER_ENTRY_SIZE;
    const size_t length = std::strlen(text);
    if (length > DAL_SERVER_ENTRY_SIZE) {
        return std::nullopt;
    }
    return std::string(text, length);
}

std::optional<ServerAddress> ParseServerEntry(std::string_view text) {
    const size_t colon = text.find(':');
    if (colon == 0 || colon == std::string_view::npos) {
        return std::nullopt;
    }
    size_t at = colon + 1;
    while (at < text.size() && IsBlank(text[at])) {
        ++at;
    }
    if (at < text.size() && text[at] == '+') {
        ++at;
    }
    uint32_t port = 0;
    size_t digits = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++digits) {
        port = port * 10 + static_cast<uint32_t>(text[at] - '0');
        if (port > kHighestPort) {
            return std::nullopt;
        }
    }
    if (digits == 0 || port < kLowestPort) {
        return std::nullopt;
    }
    return ServerAddress{std::string(text.substr(0, colon)), static_cast<uint16_t>(port)};
}

ResolveResult ResolveHost(const std::string& host) {
#if defined(_WIN32)
    if (!SocketsStarted()) {
        return ResolveResult::NetworkUnavailable;
    }
#endif
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) {
        return ResolveResult::Unknown;
    }
    freeaddrinfo(found);
    return ResolveResult::Resolved;
}

}  // namespace zorvan::dal
