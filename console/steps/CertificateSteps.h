#pragma once
// The console's certificate steps, run with the ISP driver running: write the fetched
// certificate into the flash's certificate area, and read it back through the driver.
#include <string>

#include "console/ConsoleSession.h"

namespace zorvan::console {

// Fetches the chip's certificate from the key files for an update. A chip without one
// switches the certificate and the final reset off (nothing on the chip was touched yet);
// `message` then says why.
bool LookUpCertificateStep(ConsoleSession& session, std::wstring& message);

// Programs control.certificate at the certificate area; on failure `message` names the
// step code.
bool WriteCertificateStep(ConsoleSession& session, std::wstring& message);

// The same through the signed driver of a secure update, with the secure certificate code.
bool WriteSecureCertificateStep(ConsoleSession& session, std::wstring& message);

// Compares the area with control.certificate; prints the green line when equal, else
// `message` says why not.
bool VerifyCertificateStep(ConsoleSession& session, std::wstring& message);

}  // namespace zorvan::console
