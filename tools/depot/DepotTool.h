#pragma once
// The depot commands of the operator tool: make a key depot from a file of certificate
// records (plain, or encrypted with a password), and select a record from a depot through
// the key-server client library.
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace zorvan::depot {

// Exit statuses of the commands.
inline constexpr int DEPOT_EXIT_OK = 0;
inline constexpr int DEPOT_EXIT_FAILED = 1;     // a message says why on the error stream
inline constexpr int DEPOT_EXIT_BAD_USAGE = 2;  // the usage goes to the error stream

// `depot make OUT --records FILE [--password PW]`; `args` are the words after "make".
int RunDepotMake(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// `depot select IN --identity HEX [--password PW]`; `args` are the words after "select".
// Prints the selected record as hexadecimal on one line.
int RunDepotSelect(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Writes a depot holding `records` (whole 422-byte records back to back) to `path`: the
// plain table without a password, else encrypted under a fresh salt and IV. On failure
// `error` says why.
bool MakeDepotFile(const std::string& path, const uint8_t* records, size_t size,
                   const std::string* password, std::string& error);

}  // namespace zorvan::depot
