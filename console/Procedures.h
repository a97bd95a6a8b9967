#pragma once
// The console procedures, one per command. Each prints and logs its own steps and, on
// failure, shows the FAILED banner with its message and logs that message (the secure run
// prints its message in the normal colour, without the banner). They return true when the
// operation completed; the exit status depends on it only under ExitStatus=1.
#include "console/ConsoleSession.h"

namespace zorvan::console {

// The shared first step: reads and prints the chip type and the on-board firmware
// version; false when the chip cannot be identified (the command then does not run).
bool ShowCurrentFirmwareVersion(ConsoleSession& session);

bool RunIspProcedure(ConsoleSession& session);
bool RunSecureIspProcedure(ConsoleSession& session);
bool WriteDeviceCertificateCommand(ConsoleSession& session);
bool WriteCmdbCommand(ConsoleSession& session);
bool VerifyCmdbCommand(ConsoleSession& session);
bool ChipInformationCommand(ConsoleSession& session);
bool FullEraseCommand(ConsoleSession& session);
bool VerifyDeviceCertificateCommand(ConsoleSession& session);

}  // namespace zorvan::console
