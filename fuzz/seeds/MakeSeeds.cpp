// zorvan_fuzz_seeds OUT: writes the seed corpus of every fuzz target into OUT/<target>/,
// made from the demo folder's files and from sessions with the virtual chip, recorded
// answer for answer in the encoding the link targets read. The corpus in the repository
// (fuzz/corpus) was made with it; the same files come out on every run.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/control/ZorvanControl.h"
#include "core/platform/Clock.h"
#include "fuzz/support/ChipOperations.h"
#include "fuzz/support/DepotKey.h"
#include "fuzz/support/FuzzLink.h"
#include "fuzz/support/FuzzSink.h"
#include "fuzz/support/LinkTarget.h"
#include "fuzz/support/VendorPc.h"
#include "sim/chip/VirtualChip.h"
#include "sim/demo/DemoAssets.h"
#include "sim/demo/DemoDriver.h"
#include "sim/demo/DemoEsm.h"
#include "sim/demo/DemoImages.h"
#include "sim/demo/DemoKeys.h"
#include "sim/state/StateFile.h"

namespace {

using namespace zorvan;
using fuzz::Operation;
using fuzz::OperationSet;
using Bytes = std::vector<uint8_t>;

std::filesystem::path gOut;

void Seed(const std::string& target, const std::string& name, const Bytes& bytes) {
    std::filesystem::create_directories(gOut / target);
    std::ofstream(gOut / target / name, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    std::printf("%s/%s: %zu bytes\n", target.c_str(), name.c_str(), bytes.size());
}

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& p : parts) {
        all.insert(all.end(), p.begin(), p.end());
    }
    return all;
}

// --- files ---

Bytes Utf16(const std::string& ascii, bool bigEndian) {
    Bytes out = bigEndian ? Bytes{0xFE, 0xFF} : Bytes{0xFF, 0xFE};
    for (const char c : ascii) {
        const auto b = static_cast<uint8_t>(c);
        out.insert(out.end(), bigEndian ? std::initializer_list<uint8_t>{0, b}
                                        : std::initializer_list<uint8_t>{b, 0});
    }
    return out;
}

void ProfileSeeds() {
    const std::string demo = sim::DemoConfigIni();
    Seed("profile", "demo-utf8.ini", Text(demo));
    Seed("profile", "demo-utf8-bom.ini", Join({{0xEF, 0xBB, 0xBF}, Text(demo)}));
    Seed("profile", "demo-utf16le.ini", Utf16(demo, false));
    Seed("profile", "demo-utf16be.ini", Utf16(demo, true));
    // Every key the programs read, in the forms the README describes.
    Seed("profile", "every-key.ini",
         Text("; every key\r\n[firmware update]\r\nNvidiaDeviceId=0x1000\r\nAmdDeviceId=5\r\n"
              "Ddc2biAddr=0x6E\r\nDdc2biAddrP1=0x6A\r\nRamWriteAddr=129\r\nRunAtAddr=0x1800\r\n"
              "FlashStartAddr=-2\r\nIspDrvRunDelay=55zz\r\nNextIspDelay=abc\r\nRunResetOne=5\r\n"
              "NotDeleteLogFile=1\r\nDebugMode=1\r\nOneStepProgramming=0\r\nSecureISP=1\r\n"
              "ProgramDeviceCertificate=1\r\nProgramCMDB=1\r\nFwComparison=0\r\nExitStatus=1\r\n"
              "FWFilePath=\"firmware.bin\"\r\nFWFilePathP1=C:\\fw\\p1.bin\r\n"
              "DriverFilePath=/abs/driver.bin\r\nESMFilePath=esm.bin\r\nKeysFilePath=keys\\\r\n"
              "CmdbFilePath='cmdb.bin'\r\nDdc2biAddr=1\r\n[Simulator]\r\nEnabled=1\r\n"
              "Vendor=LSPCON\r\nStateFile=chip.state\r\nClock=virtual\r\nFaultSeed=7\r\n"
              "AuxDeferRate=0.1\r\nI2cDeferRate=0.25\r\nNullReplyRate=1\r\nCorruptReplyRate=0\r\n"
              "PowerLossAfterBlocks=12\r\nStuckFlashAddress=0x7E000\r\nPortSwitch=1\r\n"
              "Port1StateFile=p1.state\r\nPort2StateFile=\r\n"));
}

void ImageSeeds() {
    const Bytes driver = sim::MakeDemoDriverFile();
    const Bytes firmware = sim::MakeFirmwareImage(sim::ChipFamily::Kq1100, {1, 6, 0});
    const std::string product = "Zorvan demo display adapter";
    Seed("image_files", "driver-with-header", Join({{0}, driver}));
    Seed("image_files", "driver-without-header", Join({{0}, sim::MakeDemoDriverPayload()}));
    Seed("image_files", "firmware-short",
         Join({{1}, Bytes(firmware.begin(), firmware.begin() + 64)}));
    Seed("image_files", "firmware-last-kib",
         Join({{2}, Bytes(firmware.end() - 1024, firmware.end())}));
    Seed("image_files", "esm", Join({{3}, sim::MakeDemoEsmFile()}));
    Seed("image_files", "cmdb",
         Join({{4}, sim::MakeCmdbRecord(2, 1, 3, 4, Bytes(product.begin(), product.end()))}));
}

void KeySeeds() {
    const std::vector<sim::DemoKeyFile> keys = sim::MakeDemoKeyFiles(sim::ChipFamily::Kq1100, 1500);
    std::string names;
    for (const sim::DemoKeyFile& k : keys) {
        names += std::string(k.name.begin(), k.name.end()) + "\n";
    }
    names += "spi_1000_1999.bin\nSPI_1000.bin\nSPI_-5_99999999999.bin\nreadme.txt";
    Seed("key_files", "search", Join({{0, 0x00, 0x00, 0x05, 0xDC}, Text(names)}));
    const Bytes& file = keys.front().bytes;
    const Bytes records(file.begin(), file.begin() + 3 * sim::kCertificateRecordSize);
    Seed("key_files", "plain-depot", Join({{1}, records}));
    const Bytes iv = {0x10, 0x32, 0x54, 0x76, 0x98, 0xBA, 0xDC, 0xFE,
                      0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF};
    std::vector<uint8_t> cipher;
    if (!dal::EncryptTable(fuzz::DemoDepotKey(), iv.data(), records.data(), records.size(),
                           cipher)) {
        std::fprintf(stderr, "encryption failed\n");
        std::exit(1);
    }
    Seed("key_files", "encrypted-depot", Join({{2}, iv, cipher}));
}

void StateSeeds() {
    Seed("state_file", "demo-chip.state", sim::SerializeState(fuzz::RunningChip()));
    const Bytes header = {'Z', 'V', 'C', 'H', 'I', 'P', 'S', 'T', 1, 0,
                          0,   0,   0,   0,   0,   0,   0,   0,   0, 0};
    Seed("state_file", "no-sections.state", header);
    Seed("state_file", "chip-section-only.state",
         Join({{'Z', 'V', 'C', 'H', 'I', 'P', 'S', 'T', 1, 0, 0, 0, 1, 0, 0, 0},
               Text("CHIP"),
               {8, 0, 0, 0, 0, 0x21, 1, 0, 0, 0, 0, 0},
               {0, 0, 0, 0}}));
}

// --- sessions with the virtual chip ---

// A seed is only as good as its replay: the fuzz target must see what the session saw.
void Replays(const std::vector<int64_t>& recorded, const std::vector<int64_t>& replayed) {
    std::printf("  operations:");
    for (const int64_t outcome : recorded) {
        std::printf(" %lld", static_cast<long long>(outcome));
    }
    std::printf("\n");
    if (recorded != replayed) {
        std::fprintf(stderr, "the seed does not replay the session:");
        for (const int64_t outcome : replayed) {
            std::fprintf(stderr, " %lld", static_cast<long long>(outcome));
        }
        std::fprintf(stderr, "\n");
        std::exit(1);
    }
}

// A script of operations, each with its parameters, as the choices of `set` pick them.
struct Step {
    Operation op;
    Bytes parameters;
};
Bytes Script(OperationSet set, std::initializer_list<Step> steps) {
    Bytes script;
    for (const Step& s : steps) {
        script.push_back(fuzz::ChoiceOf(set, s.op));
        script.insert(script.end(), s.parameters.begin(), s.parameters.end());
    }
    return script;
}

// The chip's answers to `script` through the NVIDIA backend, as the command channel and
// mailbox targets read them; `before` runs first, unrecorded (the ISP driver's start).
Bytes RecordOnLink(OperationSet set, const Bytes& script,
                   const std::function<void(ZorvanControl&)>& before) {
    sim::VirtualChip chip(fuzz::RunningChip());
    const fuzz::VendorPc pc(0, chip);
    ZorvanControl backend;
    backend.gfxSelection = pc.GfxSelection();
    std::wstring text;
    if (backend.InitGraphicsAdapter(text) != 0) {
        std::fprintf(stderr, "the virtual chip was not found\n");
        std::exit(1);
    }
    fuzz::AnswerWriter unrecorded;
    fuzz::AnswerWriter writer;
    writer.Byte(fuzz::FlagsOf({false, true, 131}));
    fuzz::RecordingLink quiet(*backend.gfx, unrecorded);
    fuzz::RecordingLink link(*backend.gfx, writer);
    ZorvanControl control;
    control.deviceId = backend.deviceId;
    fuzz::PrepareControl(control);
    control.gfx = &quiet;
    control.nvidiaOrAmdStandIn = &quiet;
    before(control);
    control.gfx = &link;
    control.nvidiaOrAmdStandIn = &link;
    fuzz::ScriptChoices choices(writer, script);
    const std::vector<int64_t> recorded = fuzz::RunOperations(control, choices, set, 1000);
    control.gfx = nullptr;
    const Bytes& seed = writer.Written();
    Replays(recorded, fuzz::RunOnFuzzLink(seed.data(), seed.size(), set));
    return seed;
}

void StartIspDriver(ZorvanControl& c) {
    if (!c.EnterIspMode() || !c.DownloadIspDriver(false) || !c.RunIspDriver()) {
        std::fprintf(stderr, "the ISP driver did not start\n");
        std::exit(1);
    }
    platform::SleepMs(800);
}

void CommandChannelSeeds() {
    const OperationSet set = OperationSet::kCommandChannel;
    const auto none = [](ZorvanControl&) {};
    Seed("command_channel", "identity",
         RecordOnLink(set,
                      Script(set, {{Operation::kGetChipType, {}},
                                   {Operation::kGetChipInfo, {}},
                                   {Operation::kReadOtpBlock, {}},
                                   {Operation::kCheckCmdb, {}},
                                   {Operation::kCheckEsmStatus, {}},
                                   {Operation::kReadMemory, {5, 127}},
                                   {Operation::kReadRegister, {1}},
                                   {Operation::kVerifyCmdbThroughChannel, {}},
                                   {Operation::kVerifyCertificateThroughMemory, {}},
                                   {Operation::kRawI2cRead, {131}}}),
                      none));
    Seed("command_channel", "isp-driver",
         RecordOnLink(set,
                      Script(set, {{Operation::kGetChipType, {}},
                                   {Operation::kEnterIspMode, {50, 0}},
                                   {Operation::kDownloadIspDriver, {0}},
                                   {Operation::kRunIspDriver, {}},
                                   {Operation::kPause, {80}},
                                   {Operation::kGetChipType, {}}}),
                      none));
    Seed("command_channel", "secure-driver",
         RecordOnLink(set,
                      Script(set, {{Operation::kGetChipType, {}},
                                   {Operation::kEnterIspMode, {50, 1}},
                                   {Operation::kClearEsmHandle, {}},
                                   {Operation::kCheckEsmStatus, {}},
                                   {Operation::kDownloadEsm, {}},
                                   {Operation::kStartSecProc, {}},
                                   {Operation::kCheckEsmStatus, {}},
                                   {Operation::kDownloadIspDriver, {1}},
                                   {Operation::kSendDriverSignature, {}},
                                   {Operation::kStartSignedDriver, {}}}),
                      none));
}

void MailboxSeeds() {
    const OperationSet set = OperationSet::kMailbox;
    Seed("mailbox", "flash-read",
         RecordOnLink(set,
                      Script(set, {{Operation::kReadMailbox, {}},
                                   {Operation::kReadFlashId, {}},
                                   {Operation::kReadFlashVersion, {}},
                                   {Operation::kReadFlash, {3, 127}},
                                   {Operation::kVerifyCmdbThroughDriver, {}},
                                   {Operation::kVerifyCertificateThroughDriver, {}},
                                   {Operation::kRawAuxRead, {0, 2}}}),
                      StartIspDriver));
    Seed("mailbox", "erase-program",
         RecordOnLink(set,
                      Script(set, {{Operation::kReadMailbox, {}},
                                   {Operation::kReadFlashId, {}},
                                   {Operation::kEraseFlash, {3}},
                                   {Operation::kProgramFlash, {0, 3, 1, 0}},
                                   {Operation::kReadFlash, {3, 127}},
                                   {Operation::kEraseFlash, {4}},
                                   {Operation::kProgramErasedRegion, {0, 2, 0, 0}},
                                   {Operation::kWriteBlock, {1, 3, 1}},
                                   {Operation::kSystemReset, {}}}),
                      StartIspDriver));
}

// The chip's answers on the wire behind one vendor's backend, as the backends target reads
// them: the vendor, then the script with the answers recorded at the sink.
Bytes RecordBehindBackend(int vendor, const Bytes& script) {
    sim::VirtualChip chip(fuzz::RunningChip());
    fuzz::AnswerWriter writer;
    writer.Byte(static_cast<uint8_t>(vendor));
    fuzz::RecordingSink sink(chip, writer);
    const fuzz::VendorPc pc(vendor, sink);
    ZorvanControl control;
    control.gfxSelection = pc.GfxSelection();
    std::wstring text;
    if (control.InitGraphicsAdapter(text) != 0) {
        std::fprintf(stderr, "vendor %d: the virtual chip was not found\n", vendor);
        std::exit(1);
    }
    sink.GoLive();
    fuzz::PrepareControl(control);
    fuzz::ScriptChoices choices(writer, script);
    const std::vector<int64_t> recorded =
        fuzz::RunOperations(control, choices, OperationSet::kAll, 1000);
    sink.Finish();
    const Bytes& seed = writer.Written();
    Replays(recorded, fuzz::RunBehindFuzzedSink(seed.data(), seed.size()));
    return seed;
}

void BackendSeeds() {
    const OperationSet set = OperationSet::kAll;
    const Bytes script = Script(set, {{Operation::kGetChipType, {}},
                                      {Operation::kGetChipInfo, {}},
                                      {Operation::kReadOtpBlock, {}},
                                      {Operation::kCheckCmdb, {}},
                                      {Operation::kRawI2cRead, {20}},
                                      {Operation::kEnterIspMode, {50, 0}},
                                      {Operation::kDownloadIspDriver, {0}},
                                      {Operation::kRunIspDriver, {}},
                                      {Operation::kPause, {80}},
                                      {Operation::kReadMailbox, {}},
                                      {Operation::kReadFlashId, {}},
                                      {Operation::kReadFlash, {3, 127}},
                                      {Operation::kReadFlashVersion, {}},
                                      {Operation::kEraseFlash, {3}},
                                      {Operation::kProgramFlash, {0, 3, 1, 0}},
                                      {Operation::kVerifyCmdbThroughDriver, {}},
                                      {Operation::kRawAuxRead, {0, 2}},
                                      {Operation::kSystemReset, {}}});
    const char* names[fuzz::kVendors] = {"nvidia", "amd", "lspcon", "intel"};
    for (int vendor = 0; vendor < fuzz::kVendors; ++vendor) {
        Seed("backends", names[vendor], RecordBehindBackend(vendor, script));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zorvan_fuzz_seeds OUT\n");
        return 2;
    }
    gOut = argv[1];
    fuzz::UseVirtualClock();
    ProfileSeeds();
    ImageSeeds();
    KeySeeds();
    StateSeeds();
    CommandChannelSeeds();
    MailboxSeeds();
    BackendSeeds();
    return 0;
}
