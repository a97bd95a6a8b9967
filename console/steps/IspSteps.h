#pragma once
// The console steps around the ISP driver that the flash commands share: the driver download and
// start, the flash ID, the system reset at the end, and the CMDB write and verify.
#include <cstdint>
#include <string>

#include "console/ConsoleSession.h"

namespace zorvan::console {

// Downloads the ISP driver (with the secure packet code when `secure`) with progress.
bool DownloadIspDriverStep(ConsoleSession& session, bool secure, std::wstring& message);

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

// Both CMDB steps of an update; the verdict of a verified block is shown in the success
// colour and logged.
bool WriteAndVerifyCmdbStep(ConsoleSession& session, std::wstring& message);

// Loads the CMDB file of an update. A file that does not load only warns (in the given text
// attribute) and switches the CMDB part of the run off.
void LoadCmdbFileStep(ConsoleSession& session, uint16_t attribute);

}  // namespace zorvan::console
