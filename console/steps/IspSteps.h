#pragma once
// The console steps around the ISP driver that the flash commands share: the driver download and
// start, the flash ID, the system reset at the end, and the CMDB write and verify.
#include <string>

#include "console/ConsoleSession.h"

namespace zorvan::console {

// Downloads the ISP driver with progress, starts it and waits the configured run delay;
// `message` says which of the two failed.
bool LoadAndRunIspDriver(ConsoleSession& session, std::wstring& message);

// Takes the driver's mailbox and reads the flash ID with progress, printing the ID.
bool ReadMailboxAndFlashId(ConsoleSession& session, std::wstring& message);

// Resets the chip when the configuration asks for it, and says whether that worked.
void ResetSystemIfConfigured(ConsoleSession& session);

// Programs the loaded CMDB file at 0x7E000 with progress; `message` names the step code.
bool WriteCmdbStep(ConsoleSession& session, std::wstring& message);

// Compares the block with the file through the running driver; prints nothing, `message`
// receives the verdict either way.
bool VerifyCmdbStep(ConsoleSession& session, std::wstring& message);

}  // namespace zorvan::console
