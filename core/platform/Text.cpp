#include "core/platform/Text.h"

#include <cwchar>
#include <vector>

namespace zorvan {
namespace {

// Rewrites one Windows wide format into the platform's wide-printf dialect.
std::wstring TranslateFormat(const wchar_t* format) {
#if defined(_WIN32)
    return format;
#else
    std::wstring out;
    for (const wchar_t* p = format; *p != L'\0'; ++p) {
        out.push_back(*p);
        if (*p != L'%') {
            continue;
        }
        ++p;
        if (*p == L'%') {
            out.push_back(*p);
            continue;
        }
        // flags, width, precision
        while (*p != L'\0' && std::wcschr(L"-+ #0123456789.*", *p) != nullptr) {
            out.push_back(*p++);
        }
        bool narrow = false;
        bool wide = false;
        if (*p == L'h' && (p[1] == L's' || p[1] == L'c')) {
            narrow = true;
            ++p;
        } else if (*p == L'l' && (p[1] == L's' || p[1] == L'c')) {
            wide = true;
            ++p;
        } else if (*p == L'I' && p[1] == L'6' && p[2] == L'4') {
            out += L"ll";
            p += 3;
        } else {
            while (*p != L'\0' && std::wcschr(L"hlLqjzt", *p) != nullptr) {
                out.push_back(*p++);
            }
        }
        if (*p == L'\0') {
            break;
        }
        wchar_t conv = *p;
        if (conv == L'S' || conv == L'C') {
            narrow = true;
            conv = conv == L'S' ? L's' : L'c';
        }
        if ((conv == L's' || conv == L'c') && !narrow) {
            wide = true;
        }
        if (wide && (conv == L's' || conv == L'c')) {
            out.push_back(L'l');
        }
        out.push_back(conv);
    }
    return out;
#endif
}

}  // namespace

std::wstring FormatV(const wchar_t* format, std::va_list args) {
    const std::wstring fmt = TranslateFormat(format);
    std::vector<wchar_t> buffer(256);
    // vswprintf reports "too small" and "bad conversion" alike, so the size is capped.
    while (buffer.size() <= (1u << 22)) {
        std::va_list copy;
        va_copy(copy, args);
        const int n = std::vswprintf(buffer.data(), buffer.size(), fmt.c_str(), copy);
        va_end(copy);
        if (n >= 0 && static_cast<size_t>(n) < buffer.size()) {
            return std::wstring(buffer.data(), static_cast<size_t>(n));
        }
        buffer.assign(buffer.size() * 4, L'\0');
    }
    return std::wstring();
}

std::wstring Format(const wchar_t* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::wstring text = FormatV(format, args);
    va_end(args);
    return text;
}

std::string ToUtf8(std::wstring_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = static_cast<uint32_t>(text[i]);
        if constexpr (sizeof(wchar_t) == 2) {
            // UTF-16 surrogate pairs
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size()) {
                const uint32_t lo = static_cast<uint32_t>(text[i + 1]);
                if (lo >= 0xDC00 && lo <= 0xDFFF) {
                    c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
                    ++i;
                }
            }
        }
        if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
            c = 0xFFFD;
        }
        if (c < 0x80) {
            out.push_back(static_cast<char>(c));
        } else if (c < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else if (c < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (c >> 12)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (c >> 18)));
            out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return out;
}

std::wstring FromUtf8(std::string_view text) {
    std::wstring out;
    out.reserve(text.size());
    size_t i = 0;
    auto push = [&out](uint32_t c) {
        if constexpr (sizeof(wchar_t) == 2) {
            if (c >= 0x10000) {
                c -= 0x10000;
                out.push_back(static_cast<wchar_t>(0xD800 + (c >> 10)));
                out.push_back(static_cast<wchar_t>(0xDC00 + (c & 0x3FF)));
                return;
            }
        }
        out.push_back(static_cast<wchar_t>(c));
    };
    while (i < text.size()) {
        const auto b0 = static_cast<uint8_t>(text[i]);
        int extra = 0;
        uint32_t c = 0;
        if (b0 < 0x80) {
            c = b0;
        } else if ((b0 & 0xE0) == 0xC0) {
            extra = 1;
            c = b0 & 0x1Fu;
        } else if ((b0 & 0xF0) == 0xE0) {
            extra = 2;
            c = b0 & 0x0Fu;
        } else if ((b0 & 0xF8) == 0xF0) {
            extra = 3;
            c = b0 & 0x07u;
        } else {
            push(0xFFFD);
            ++i;
            continue;
        }
        bool ok = i + static_cast<size_t>(extra) < text.size();
        for (int k = 1; ok && k <= extra; ++k) {
            const auto b = static_cast<uint8_t>(text[i + static_cast<size_t>(k)]);
            if ((b & 0xC0) != 0x80) {
                ok = false;
            } else {
                c = (c << 6) | (b & 0x3Fu);
            }
        }
        static constexpr uint32_t kMin[] = {0, 0x80, 0x800, 0x10000};
        if (!ok || c < kMin[extra] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            push(0xFFFD);
            ++i;
            continue;
        }
        push(c);
        i += static_cast<size_t>(extra) + 1;
    }
    return out;
}

std::wstring WidenBytes(const uint8_t* bytes, size_t count) {
    std::wstring out;
    out.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        out.push_back(static_cast<wchar_t>(bytes[i]));
    }
    return out;
}

bool EqualsNoCase(std::wstring_view a, std::wstring_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        wchar_t x = a[i];
        wchar_t y = b[i];
        if (x >= L'A' && x <= L'Z') x = static_cast<wchar_t>(x + 32);
        if (y >= L'A' && y <= L'Z') y = static_cast<wchar_t>(y + 32);
        if (x != y) {
            return false;
        }
    }
    return true;
}

}  // namespace zorvan
