#pragma once
// Runs the one procedure a decided command code names.
#include "console/ConsoleCommand.h"
#include "console/ConsoleSession.h"

namespace zorvan::console {

using Procedure = bool (*)(ConsoleSession&);

// The procedures the dispatch calls (tests put recorders in their place).
struct ProcedureTable {
    Procedure showCurrentFirmwareVersion;
    Procedure runIsp;
    Procedure runSecureIsp;
    Procedure writeDeviceCertificate;
    Procedure writeCmdb;
    Procedure verifyCmdb;
    Procedure chipInformation;
    Procedure fullErase;
    Procedure verifyDeviceCertificate;
};

ProcedureTable ConsoleProcedures();

// Every command but full erase and certificate verify first shows the current firmware
// version and runs only when that succeeds. A plain run switches secure ISP off first.
// Returns the procedure's result (false also when it did not run or the code is unknown).
bool DispatchCommand(ConsoleCommand command, ConsoleSession& session,
                     const ProcedureTable& procedures = ConsoleProcedures());

}  // namespace zorvan::console
