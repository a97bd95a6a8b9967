#include "console/Procedures.h"

// Placeholders until each procedure has its own file: they do nothing and report that
// nothing was done. A procedure's file replaces its placeholder here.

namespace zorvan::console {

bool ShowCurrentFirmwareVersion(ConsoleSession&) { return false; }

bool RunIspProcedure(ConsoleSession&) { return false; }

bool RunSecureIspProcedure(ConsoleSession&) { return false; }

bool WriteDeviceCertificateCommand(ConsoleSession&) { return false; }

bool WriteCmdbCommand(ConsoleSession&) { return false; }

bool VerifyCmdbCommand(ConsoleSession&) { return false; }

bool ChipInformationCommand(ConsoleSession&) { return false; }

bool FullEraseCommand(ConsoleSession&) { return false; }

bool VerifyDeviceCertificateCommand(ConsoleSession&) { return false; }

}  // namespace zorvan::console
