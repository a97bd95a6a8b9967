#pragma once
// The link trace: when ZORVAN_TRACE names a file, one line per link event is appended
// to it. Disabled, every call is a single test of a cached flag.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zorvan::trace {

bool Enabled();
void Line(std::string_view line);

// "AA BB CC": data bytes as the trace shows them.
std::string Hex(const uint8_t* data, size_t count);

// Re-reads ZORVAN_TRACE (tests switch the trace on and off within one process).
void Reopen();

}  // namespace zorvan::trace
