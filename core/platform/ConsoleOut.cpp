#include "core/platform/ConsoleOut.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/platform/Text.h"

namespace zorvan::platform {
namespace {

bool DecideColours() {
    const char* no = std::getenv("NO_COLOR");
    if (no != nullptr && *no != '\0') {
        return false;
    }
    const char* force = std::getenv("CLICOLOR_FORCE");
    if (force != nullptr && *force != '\0' && std::strcmp(force, "0") != 0) {
        return true;
    }
    return ::isatty(STDOUT_FILENO) != 0;
}

// Windows console colour index (IRGB bits) to the ANSI colour number.
int AnsiColour(unsigned index, bool background) {
    static constexpr int kOrder[8] = {0, 4, 2, 6, 1, 5, 3, 7};  // RGB bit order differs
    const int base = kOrder[index & 7u];
    const bool bright = (index & 8u) != 0;
    if (background) {
        return bright ? 100 + base : 40 + base;
    }
    return bright ? 90 + base : 30 + base;
}

}  // namespace

bool ColoursEnabled() {
    static const bool enabled = DecideColours();
    return enabled;
}

std::string AttributeSequence(uint16_t attribute) {
    if (!ColoursEnabled()) {
        return std::string();
    }
    if (attribute == kAttrNormal) {
        return "\x1b[0m";
    }
    return "\x1b[0;" + std::to_string(AnsiColour(attribute & 0x0Fu, false)) + ";" +
           std::to_string(AnsiColour((attribute >> 4) & 0x0Fu, true)) + "m";
}

void SetTextAttribute(uint16_t attribute) {
    const std::string seq = AttributeSequence(attribute);
    if (!seq.empty()) {
        std::fwrite(seq.data(), 1, seq.size(), stdout);
        std::fflush(stdout);
    }
}

void Print(const std::wstring& text) {
    const std::string bytes = ToUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stdout);
    std::fflush(stdout);
}

void PrintError(const std::wstring& text) {
    const std::string bytes = ToUtf8(text);
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
    std::fflush(stderr);
}

}  // namespace zorvan::platform
