#include "core/platform/Trace.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace zorvan::trace {
namespace {

struct TraceFile {
    std::FILE* file = nullptr;
    bool enabled = false;

    TraceFile() { Open(); }
    ~TraceFile() { Close(); }
    TraceFile(const TraceFile&) = delete;
    TraceFile& operator=(const TraceFile&) = delete;

    void Open() {
        const char* path = std::getenv("ZORVAN_TRACE");
        if (path != nullptr && *path != '\0') {
            file = std::fopen(path, "ab");
        }
        enabled = file != nullptr;
    }
    void Close() {
        if (file != nullptr) {
            std::fclose(file);
        }
        file = nullptr;
        enabled = false;
    }
};

TraceFile& Instance() {
    static TraceFile instance;
    return instance;
}

}  // namespace

bool Enabled() { return Instance().enabled; }

void Line(std::string_view line) {
    TraceFile& t = Instance();
    if (!t.enabled) {
        return;
    }
    std::fwrite(line.data(), 1, line.size(), t.file);
    std::fputc('\n', t.file);
    // Flushed per line, so a trace is complete up to the event before a crash.
    std::fflush(t.file);
}

std::string Hex(const uint8_t* data, size_t count) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(count * 3);
    for (size_t i = 0; i < count; ++i) {
        if (i != 0) {
            out.push_back(' ');
        }
        out.push_back(kDigits[data[i] >> 4]);
        out.push_back(kDigits[data[i] & 0x0F]);
    }
    return out;
}

void Reopen() {
    TraceFile& t = Instance();
    t.Close();
    t.Open();
}

}  // namespace zorvan::trace
