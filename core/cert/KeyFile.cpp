#include "core/cert/KeyFile.h"

#include <string_view>
#include <vector>

#include "core/platform/Files.h"

namespace zorvan::cert {
namespace {

constexpr std::wstring_view kPrefix = L"SPI_";
// Trailing characters dropped before the fields are read: what ".bin" is made of.
constexpr std::wstring_view kExtensionLetters = L".bin";
constexpr size_t kFieldsRead = 3;

// A decimal number as the C library reads one: blanks, a sign, digits up to the first other
// character; nothing readable is 0. Saturates instead of overflowing.
int32_t ReadDecimal(std::wstring_view text) {
    size_t at = 0;
    while (at < text.size() && (text[at] == L' ' || text[at] == L'\t')) {
        ++at;
    }
    bool negative = false;
    if (at < text.size() && (text[at] == L'+' || text[at] == L'-')) {
        negative = text[at] == L'-';
        ++at;
    }
    int64_t value = 0;
    constexpr int64_t kLimit = int64_t{INT32_MAX} + 1;
    for (; at < text.size() && text[at] >= L'0' && text[at] <= L'9'; ++at) {
        value = value * 10 + (text[at] - L'0');
        if (value > kLimit) {
            value = kLimit;
        }
    }
    if (negative) {
        return static_cast<int32_t>(-value);
    }
    return value > INT32_MAX ? INT32_MAX : static_cast<int32_t>(value);
}

std::vector<std::wstring_view> SplitFields(std::wstring_view text) {
    std::vector<std::wstring_view> fields;
    while (fields.size() < kFieldsRead) {
        const size_t underscore = text.find(L'_');
        fields.push_back(text.substr(0, underscore));
        if (underscore == std::wstring_view::npos) {
            break;
        }
        text.remove_prefix(underscore + 1);
    }
    return fields;
}

}  // namespace

bool ParseKeyFileName(const std::wstring& name, SerialRange& range) {
    std::wstring_view text(name);
    if (!text.starts_with(kPrefix)) {
        return false;
    }
    while (!text.empty() && kExtensionLetters.find(text.back()) != std::wstring_view::npos) {
        text.remove_suffix(1);
    }
    const std::vector<std::wstring_view> fields = SplitFields(text);
    range.first = fields.size() > 1 ? ReadDecimal(fields[1]) : 0;
    range.last = fields.size() > 2 ? ReadDecimal(fields[2]) : 0;
    return true;
}

bool FindKeyFile(const std::wstring& folder, int32_t serial, std::wstring& fileName) {
    for (const std::wstring& name : platform::ListFolder(folder)) {
        SerialRange range;
        if (ParseKeyFileName(name, range) && range.first <= serial && serial <= range.last) {
            fileName = name;
            return true;
        }
    }
    return false;
}

}  // namespace zorvan::cert
