#include "console/Dispatch.h"

#include "console/Procedures.h"
#include "core/control/ZorvanControl.h"

namespace zorvan::console {

ProcedureTable ConsoleProcedures() {
    return ProcedureTable{
        ShowCurrentFirmwareVersion,    RunIspProcedure,  RunSecureIspProcedure,
        WriteDeviceCertificateCommand, WriteCmdbCommand, VerifyCmdbCommand,
        ChipInformationCommand,        FullEraseCommand, VerifyDeviceCertificateCommand,
    };
}

bool DispatchCommand(ConsoleCommand command, ConsoleSession& session,
                     const ProcedureTable& procedures) {
    Procedure procedure = nullptr;
    bool needsFirmwareVersion = true;
    switch (command) {
        case CMD_RUN_ISP:
            session.config.secureIsp = false;
            session.control.secureIsp = 0;
            procedure = procedures.runIsp;
            break;
        case CMD_RUN_SECURE_ISP:
            procedure = procedures.runSecureIsp;
            break;
        case CMD_WRITE_DEV_CERT:
            procedure = procedures.writeDeviceCertificate;
            break;
        case CMD_WRITE_CMDB:
            procedure = procedures.writeCmdb;
            break;
        case CMD_VERIFY_CMDB:
            procedure = procedures.verifyCmdb;
            break;
        case CMD_CHIP_INFO:
            procedure = procedures.chipInformation;
            break;
        case CMD_FULL_ERASE:
            procedure = procedures.fullErase;
            needsFirmwareVersion = false;
            break;
        case CMD_VERIFY_DEV_CERT:
            procedure = procedures.verifyDeviceCertificate;
            needsFirmwareVersion = false;
            break;
        default:
            return false;  // CMD_NONE and an undecided CMD_RUN never get here
    }
    if (needsFirmwareVersion && !procedures.showCurrentFirmwareVersion(session)) {
        return false;
    }
    return procedure(session);
}

}  // namespace zorvan::console
