#pragma once
// Fetching a chip's Device Certificate from a key file through the key-server client
// library.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/cert/CertificateArea.h"

namespace zorvan::cert {

inline constexpr size_t OTP_BLOCK_SIZE = 16;

// The key server the library is configured with, and the credentials path it is given.
// This version of the library answers from the key file and only checks the address.
inline constexpr char kKeyServerAddress[] = "localhost:7443";
inline constexpr char kKeyServerCredentials[] = "dks/credentials";

// From the first call on, interrupt, termination and abort signals are ignored for the
// rest of the process, so that no certificate write is cut short.
void IgnoreInterruptionSignals();

// Asks the library for the record of `otpBlock` in `keyFile` (8-bit path). On a match the
// record replaces the content of `certificate` (grown only when too short) and
// `certificateLength`, and the match line is logged; true. Otherwise both stay as they
// were, `text` holds the mismatch line (or stays empty when the library failed; the log
// then says why), false.
bool FetchCertificate(const std::string& keyFile, const uint8_t* otpBlock,
                      std::vector<uint8_t>& certificate, int32_t& certificateLength,
                      std::wstring& text);

}  // namespace zorvan::cert
