// `depot select`: one record of a depot, chosen by the key-server client library.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "core/cert/dal/Dal.h"
#include "tools/depot/DepotArguments.h"
#include "tools/depot/DepotTool.h"

namespace zorvan::depot {
namespace {

// The server entry the library checks; it is resolved but never contacted.
constexpr char kServerEntry[] = "127.0.0.1:8443";

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::optional<std::vector<uint8_t>> ParseIdentity(const std::string& hex) {
    if (hex.size() != 2 * DAL_IDENTITY_SIZE) {
        return std::nullopt;
    }
    std::vector<uint8_t> identity(DAL_IDENTITY_SIZE);
    for (size_t i = 0; i < identity.size(); ++i) {
        const int high = HexDigit(hex[2 * i]);
        const int low = HexDigit(hex[2 * i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        identity[i] = static_cast<uint8_t>(high << 4 | low);
    }
    return identity;
}

std::string ToHex(const uint8_t* bytes, size_t size) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    hex.reserve(2 * size);
    for (size_t i = 0; i < size; ++i) {
        hex.push_back(kDigits[bytes[i] >> 4]);
        hex.push_back(kDigits[bytes[i] & 0x0F]);
    }
    return hex;
}

int Failed(std::ostream& err, const char* call, DalResult code) {
    char number[16];
    std::snprintf(number, sizeof number, "0x%X", static_cast<unsigned>(code));
    err << call << " failed: " << number << " (" << dalErrorName(code) << ")\n";
    return DEPOT_EXIT_FAILED;
}

}  // namespace

int RunDepotSelect(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const std::optional<DepotArguments> parsed =
        ParseDepotArguments(args, {"identity", "password"});
    const std::optional<std::vector<uint8_t>> identity =
        parsed && parsed->Option("identity") != nullptr ? ParseIdentity(*parsed->Option("identity"))
                                                        : std::nullopt;
    if (!identity) {
        err << "usage: zorvan-sim depot select IN --identity HEX [--password PW]\n"
               "  HEX: the 16-byte identity as 32 hexadecimal digits\n";
        return DEPOT_EXIT_BAD_USAGE;
    }
    const std::string* password = parsed->Option("password");

    DalConfig config{};
    config.serverCount = 1;
    std::memcpy(config.servers[0], kServerEntry, sizeof kServerEntry);
    config.depotPassword = password != nullptr ? password->c_str() : nullptr;

    dalSetDepotFile(parsed->path.c_str());
    DalContext* context = nullptr;
    if (const DalResult created = dalCreate(&context, &config); created != DAL_SUCCESS) {
        return Failed(err, "dalCreate", created);
    }
    DalObject object{};
    const DalResult selected =
        dalSelect(context, DAL_PRODUCT_CERTIFICATE, identity->data(), &object);
    const DalResult destroyed = dalDestroy(&context, false);
    if (selected != DAL_SUCCESS) {
        return Failed(err, "dalSelect", selected);
    }
    if (destroyed != DAL_SUCCESS) {
        return Failed(err, "dalDestroy", destroyed);
    }
    out << ToHex(object.data, object.length) << "\n";
    return DEPOT_EXIT_OK;
}

}  // namespace zorvan::depot
