#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/config/LoadConfig.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/Text.h"

namespace zorvan {
namespace {

namespace fs = std::filesystem;

constexpr ConfigProgram C = ConfigProgram::Console;
constexpr ConfigProgram G = ConfigProgram::Gui;

const char* ProgramName(ConfigProgram p) { return p == C ? "console" : "GUI"; }

// A program folder of its own per test, with the Config.ini the test writes.
class LoadConfigTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "zorvan-config-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        folder_ = FromUtf8(dir_.string()) + L"/";
    }
    void TearDown() override { fs::remove_all(dir_); }

    void WriteConfig(const std::string& text) const {
        std::ofstream(dir_ / "Config.ini", std::ios::binary) << text;
    }
    // Loads "[Firmware Update]" followed by the given lines.
    IspConfig Load(ConfigProgram program, const std::string& lines) {
        WriteConfig("[Firmware Update]\r\n" + lines);
        IspConfig config;
        std::wstring message;
        EXPECT_TRUE(LoadConfigFromFolder(program, folder_, config, control_, message))
            << ToUtf8(message);
        EXPECT_EQ(message, L"");
        return config;
    }

    fs::path dir_;
    std::wstring folder_;
    ZorvanControl control_;
};

struct ValueCase {
    ConfigProgram program;
    const char* lines;
    int64_t (*get)(const IspConfig&);
    int64_t expected;
};

int64_t Ddc(const IspConfig& c) { return c.ddcAddress; }
int64_t Ram(const IspConfig& c) { return c.ramWriteAddress; }
int64_t RunAt(const IspConfig& c) { return c.runAtAddress; }
int64_t Flash(const IspConfig& c) { return c.flashStartAddress; }
int64_t RunDelay(const IspConfig& c) { return c.ispDriverRunDelay; }
int64_t NextDelay(const IspConfig& c) { return c.nextIspDelay; }
int64_t FwCompare(const IspConfig& c) { return c.fwComparison; }
int64_t Reset(const IspConfig& c) { return c.runResetOne; }
int64_t KeepLog(const IspConfig& c) { return c.notDeleteLogFile; }
int64_t Debug(const IspConfig& c) { return c.debugMode; }
int64_t OneStep(const IspConfig& c) { return c.oneStepProgramming; }
int64_t Secure(const IspConfig& c) { return c.secureIsp; }
int64_t Cert(const IspConfig& c) { return c.programDeviceCertificate; }
int64_t Cmdb(const IspConfig& c) { return c.programCmdb; }
int64_t Verify(const IspConfig& c) { return c.verifyAfterWrite; }
int64_t P1Ddc(const IspConfig& c) { return c.port1.ddcAddress; }
int64_t P2Ddc(const IspConfig& c) { return c.port2.ddcAddress; }
int64_t P1Ram(const IspConfig& c) { return c.port1.ramWriteAddress; }
int64_t P2RunAt(const IspConfig& c) { return c.port2.runAtAddress; }
int64_t P1Flash(const IspConfig& c) { return c.port1.flashStartAddress; }
int64_t P2Flash(const IspConfig& c) { return c.port2.flashStartAddress; }

TEST_F(LoadConfigTest, AppliesTheDefaultsAndLimitsOfEachIntegerKey) {
    const ValueCase cases[] = {
        // DDC2Bi address: absent and 0 give 0x6E, anything else is taken.
        {C, "", Ddc, 0x6E},
        {G, "Ddc2biAddr=0\r\n", Ddc, 0x6E},
        {C, "Ddc2biAddr=1\r\n", Ddc, 1},
        {C, "Ddc2biAddr=\"0x6C\"\r\n", Ddc, 0x6C},
        {C, "Ddc2biAddr=-5\r\n", Ddc, 0xFFFFFFFB},
        // RAM and run-at addresses: at most 128 gives 0x1800, else the low 16 bits.
        {C, "RamWriteAddr=128\r\n", Ram, 0x1800},
        {G, "RamWriteAddr=129\r\n", Ram, 129},
        {C, "RamWriteAddr=0x12345\r\n", Ram, 0x2345},
        {C, "RamWriteAddr=-2\r\n", Ram, 0xFFFE},
        {C, "RunAtAddr=0\r\n", RunAt, 0x1800},
        {G, "RunAtAddr=0x2000\r\n", RunAt, 0x2000},
        // Flash start: the console's limit is 128, the GUI's 4096.
        {C, "", Flash, 0x400000},
        {C, "FlashStartAddr=2048\r\n", Flash, 2048},
        {G, "FlashStartAddr=2048\r\n", Flash, 0x400000},
        {C, "FlashStartAddr=128\r\n", Flash, 0x400000},
        {G, "FlashStartAddr=4097\r\n", Flash, 4097},
        // ISP driver run delay: the console's limit is 50, the GUI's 500.
        {C, "", RunDelay, 800},
        {C, "IspDrvRunDelay=100\r\n", RunDelay, 100},
        {G, "IspDrvRunDelay=100\r\n", RunDelay, 800},
        {C, "IspDrvRunDelay=50\r\n", RunDelay, 800},
        {C, "IspDrvRunDelay=51\r\n", RunDelay, 51},
        {G, "IspDrvRunDelay=501\r\n", RunDelay, 501},
        {G, "", NextDelay, 100},
        {G, "NextIspDelay=50\r\n", NextDelay, 100},
        {G, "NextIspDelay=51\r\n", NextDelay, 51},
        // Switches that are on unless set to 0.
        {C, "", Reset, 1},
        {C, "RunResetOne=0\r\n", Reset, 0},
        {G, "RunResetOne=5\r\n", Reset, 1},
        {G, "", FwCompare, 1},
        {G, "FwComparison=0\r\n", FwCompare, 0},
        {G, "", OneStep, 1},
        {G, "OneStepProgramming=0\r\n", OneStep, 0},
        // Switches that are on only when set to 1.
        {C, "", KeepLog, 0},
        {C, "NotDeleteLogFile=1\r\n", KeepLog, 1},
        {G, "NotDeleteLogFile=5\r\n", KeepLog, 0},
        {C, "DebugMode=1\r\n", Debug, 1},
        {C, "DebugMode=2\r\n", Debug, 0},
        {C, "SecureISP=1\r\n", Secure, 1},
        {C, "ProgramDeviceCertificate=1\r\n", Cert, 1},
        {C, "ProgramCMDB=0x1\r\n", Cmdb, 1},
        {C, "", Verify, 0},
        {C, "VerifyAfterWrite=1\r\n", Verify, 1},
        {G, "VerifyAfterWrite=1\r\n", Verify, 1},
        {G, "VerifyAfterWrite=2\r\n", Verify, 0},
        {C, "VerifyAfterWrite=-1\r\n", Verify, 0},
        // One-step programming (on unless 0) rules out debug mode, secure ISP and the
        // certificate, but not the CMDB.
        {G, "DebugMode=1\r\n", Debug, 0},
        {G, "DebugMode=1\r\nOneStepProgramming=0\r\n", Debug, 1},
        {G, "SecureISP=1\r\n", Secure, 0},
        {G, "SecureISP=1\r\nOneStepProgramming=0\r\n", Secure, 1},
        {G, "ProgramDeviceCertificate=1\r\n", Cert, 0},
        {G, "ProgramCMDB=1\r\n", Cmdb, 1},
        // Per-port values of the GUI fall back to the host values.
        {G, "Ddc2biAddr=0x50\r\n", P1Ddc, 0x50},
        {G, "Ddc2biAddr=0x50\r\nDdc2biAddrP2=0\r\n", P2Ddc, 0x50},
        {G, "Ddc2biAddrP2=0x3C\r\n", P2Ddc, 0x3C},
        {G, "RamWriteAddr=0x2000\r\nRamWriteAddrP1=128\r\n", P1Ram, 0x2000},
        {G, "RunAtAddrP2=0x10005\r\n", P2RunAt, 5},
        {G, "FlashStartAddr=0x500000\r\nFlashStartAddrP1=4096\r\n", P1Flash, 0x500000},
        {G, "FlashStartAddrP2=4097\r\n", P2Flash, 4097},
        // The console does not use the per-port keys.
        {C, "Ddc2biAddr=0x50\r\nDdc2biAddrP1=0x3C\r\n", P1Ddc, 0x6E},
    };
    for (const ValueCase& c : cases) {
        EXPECT_EQ(c.get(Load(c.program, c.lines)), c.expected)
            << ProgramName(c.program) << ": " << c.lines;
    }
}

TEST_F(LoadConfigTest, SelectsTheVendorByTheFirstKeyPresent) {
    struct Case {
        const char* lines;
        int32_t selection;
        uint32_t deviceId;
    } cases[] = {
        {"", GFX_AUTO, 0},
        {"NvidiaDeviceId=-1\r\n", GFX_AUTO, 0},  // -1 reads as absent
        {"NvidiaDeviceId=0\r\nAmdDeviceId=5\r\n", GFX_NVIDIA, 0},
        {"AmdDeviceId=65537\r\n", GFX_AMD, 65537},
        {"DeviceID=7\r\nIntelLegacyDeviceId=3\r\n", GFX_INTEL, 3},
        {"DeviceID=0x0D\r\nNvidiaDeviceId=9\r\n", GFX_INTEL_LSPCON, 13},
        {"deviceid=0\r\n", GFX_INTEL_LSPCON, 0},
        // A Linux connector selects the kernel's AUX devices, after the vendors' keys.
        {"LinuxConnector=card0-DP-1\r\n", GFX_LINUX, 0},
        {"AmdDeviceId=3\r\nLinuxConnector=card0-DP-1\r\n", GFX_AMD, 3},
        {"LinuxConnector=\"\"\r\n", GFX_AUTO, 0},
    };
    for (ConfigProgram program : {C, G}) {
        for (const Case& c : cases) {
            const IspConfig config = Load(program, c.lines);
            EXPECT_EQ(config.gfxSelection, c.selection) << ProgramName(program) << ": " << c.lines;
            EXPECT_EQ(config.deviceId, c.deviceId) << ProgramName(program) << ": " << c.lines;
            EXPECT_EQ(control_.gfxSelection, c.selection) << c.lines;
            EXPECT_EQ(control_.deviceId, c.deviceId) << c.lines;
        }
    }
}

std::wstring IspConfig::*const kDriver = &IspConfig::driverPath;
std::wstring IspConfig::*const kFirmware = &IspConfig::firmwarePath;
std::wstring IspConfig::*const kEsm = &IspConfig::esmPath;
std::wstring IspConfig::*const kKeys = &IspConfig::keysPath;
std::wstring IspConfig::*const kCmdbPath = &IspConfig::cmdbPath;

TEST_F(LoadConfigTest, ResolvesPathKeysAgainstTheProgramFolder) {
    const std::string longName(600, 'n');
    struct Case {
        ConfigProgram program;
        std::string lines;
        std::wstring IspConfig::*member;
        std::wstring expected;  // "<F>" at the start stands for the program folder
    } cases[] = {
        {C, "FWFilePath=firmware.bin\r\n", kFirmware, L"<F>firmware.bin"},
        {G, "DriverFilePath=\" sub/driver.bin \"\r\n", kDriver, L"<F> sub/driver.bin "},
        {C, "", kFirmware, L""},
        {C, "FWFilePath=\"\"\r\n", kFirmware, L""},
        {C, "CmdbFilePath=cmdb.bin\r\n", kCmdbPath, L"<F>cmdb.bin"},
        // The key folder loses one trailing separator, of either kind.
        {C, "KeysFilePath=keys\\\r\n", kKeys, L"<F>keys"},
        {G, "KeysFilePath=keys/\r\n", kKeys, L"<F>keys"},
        {C, "KeysFilePath=keys\\\\\r\n", kKeys, L"<F>keys\\"},
        {C, "KeysFilePath=keys\r\n", kKeys, L"<F>keys"},
        // Absolute values are used unchanged by both programs.
        {C, "FWFilePath=C:\\fw\\image.bin\r\n", kFirmware, L"C:\\fw\\image.bin"},
        {C, "FWFilePath=/opt/fw/image.bin\r\n", kFirmware, L"/opt/fw/image.bin"},
        {C, "CMDBFilePath=\\\\server\\share\\cmdb.bin\r\n", kCmdbPath,
         L"\\\\server\\share\\cmdb.bin"},
        {C, "KeysFilePath=/srv/keys/\r\n", kKeys, L"/srv/keys"},
        {G, "FWFilePath=/opt/fw/image.bin\r\n", kFirmware, L"/opt/fw/image.bin"},
        {G, "KeysFilePath=D:\\keys\\\r\n", kKeys, L"D:\\keys"},
        // The GUI also takes any value holding a colon as it is; the console does not.
        {G, "FWFilePath=images:v2.bin\r\n", kFirmware, L"images:v2.bin"},
        {C, "FWFilePath=images:v2.bin\r\n", kFirmware, L"<F>images:v2.bin"},
        // The ESM image is read only when secure ISP is on (for the GUI before one-step
        // programming switches it off).
        {C, "ESMFilePath=esm.bin\r\n", kEsm, L""},
        {C, "SecureISP=1\r\nESMFilePath=esm.bin\r\n", kEsm, L"<F>esm.bin"},
        {G, "SecureISP=1\r\nESMFilePath=esm.bin\r\n", kEsm, L"<F>esm.bin"},
        // Values are cut at 511 characters before the folder is put in front.
        {C, "FWFilePath=" + longName + "\r\n", kFirmware,
         L"<F>" + std::wstring(511, L'n')},
    };
    for (const Case& c : cases) {
        const IspConfig config = Load(c.program, c.lines);
        std::wstring expected = c.expected;
        if (expected.rfind(L"<F>", 0) == 0) {
            expected = folder_ + expected.substr(3);
        }
        EXPECT_EQ(config.*c.member, expected) << ProgramName(c.program) << ": " << c.lines;
    }
}

TEST_F(LoadConfigTest, ConsoleMarksTheFirmwareReadyWhenAnImagePathIsGiven) {
    EXPECT_TRUE(Load(C, "FWFilePath=missing.bin\r\n").firmwareReady);
    EXPECT_FALSE(Load(C, "DriverFilePath=driver.bin\r\n").firmwareReady);
    EXPECT_FALSE(Load(G, "FWFilePath=firmware.bin\r\n").firmwareReady);
}

TEST_F(LoadConfigTest, HandsTheCoreItsCopyOfTheSettings) {
    const IspConfig config = Load(
        C,
        "NvidiaDeviceId=0x1234\r\nDdc2biAddr=0x50\r\nRamWriteAddr=0x2000\r\nRunAtAddr=0x2100\r\n"
        "FlashStartAddr=0x500000\r\nSecureISP=1\r\nFWFilePath=fw.bin\r\nDriverFilePath=drv.bin\r\n"
        "ESMFilePath=esm.bin\r\nKeysFilePath=keys\\\r\nCMDBFilePath=cmdb.bin\r\n");
    EXPECT_EQ(control_.gfxSelection, GFX_NVIDIA);
    EXPECT_EQ(control_.deviceId, 0x1234u);
    EXPECT_EQ(control_.ddcAddress, 0x50u);
    EXPECT_EQ(control_.ramWriteAddress, 0x2000);
    EXPECT_EQ(control_.runAtAddress, 0x2100);
    EXPECT_EQ(control_.flashStartAddress, 0x500000u);
    EXPECT_EQ(control_.secureIsp, 1);
    EXPECT_EQ(control_.firmwarePath, folder_ + L"fw.bin");
    EXPECT_EQ(control_.driverPath, folder_ + L"drv.bin");
    EXPECT_EQ(control_.esmPath, folder_ + L"esm.bin");
    EXPECT_EQ(control_.keysPath, folder_ + L"keys");
    EXPECT_EQ(control_.cmdbPath, folder_ + L"cmdb.bin");
    EXPECT_EQ(config.cmdbPath, control_.cmdbPath);

    // The GUI's one-step programming also reaches the core's copy of secure ISP.
    Load(G, "SecureISP=1\r\n");
    EXPECT_EQ(control_.secureIsp, 0);
}

TEST_F(LoadConfigTest, HandsTheLinuxBackendItsConnectorAndI2cRule) {
    for (ConfigProgram program : {C, G}) {
        const IspConfig config =
            Load(program, "LinuxConnector=\" /dev/drm_dp_aux3 \"\r\nLinuxForceDdc=1\r\n");
        EXPECT_EQ(config.linuxLink.connector, L" /dev/drm_dp_aux3 ");
        EXPECT_EQ(control_.gfxLinux.settings.connector, L" /dev/drm_dp_aux3 ");
        EXPECT_TRUE(control_.gfxLinux.settings.forceDdc);
        Load(program, "LinuxConnector=card1-DP-2\r\nLinuxForceDdc=2\r\n");
        EXPECT_EQ(control_.gfxLinux.settings.connector, L"card1-DP-2");
        EXPECT_FALSE(control_.gfxLinux.settings.forceDdc);  // on only when 1
        Load(program, "");
        EXPECT_EQ(control_.gfxLinux.settings.connector, L"");
    }
}

TEST_F(LoadConfigTest, AcceptsTheSectionNameInAnyCaseAmongOtherSections) {
    WriteConfig("; station 4\r\n[Simulator]\r\nEnabled=0\r\n[firmware update]\r\nDdc2biAddr=1\r\n");
    IspConfig config;
    std::wstring message;
    EXPECT_TRUE(LoadConfigFromFolder(C, folder_, config, control_, message));
    EXPECT_EQ(config.ddcAddress, 1u);
}

TEST_F(LoadConfigTest, FailsWithTheProgramsMessageAndChangesNothing) {
    const std::wstring consoleMessage =
        L"Please ensure that Config.ini is present and is not corrupted.\r\n";
    const std::wstring guiMessage =
        L"Please ensure that \"config.ini\" is present and is not corrupted.\r\n";
    const fs::path file = dir_ / "Config.ini";
    const std::wstring named = L"\"" + FromUtf8(file.string()) + L"\"";
    enum class Make { kNothing, kText, kFolder, kFifo, kLinkToZero, kSparse };
    struct Case {
        const char* what;
        Make make;
        const char* text;  // kText
        // What the programs' message adds: why a file that is there could not be read.
        std::wstring why;
    } cases[] = {
        {"no file", Make::kNothing, nullptr, L""},
        {"empty file", Make::kText, "", L""},
        {"other sections only", Make::kText,
         "[Simulator]\r\nEnabled=1\r\n[Firmware]\r\nDdc2biAddr=1\r\n", L""},
        {"keys without a section", Make::kText, "Ddc2biAddr=1\r\nFWFilePath=fw.bin\r\n", L""},
        {"broken header", Make::kText, "[Firmware Update\r\nDdc2biAddr=1\r\n", L""},
        // Never read: a folder, a FIFO (the read would wait for a writer for ever), an endless
        // device, a file far larger than any settings file.
        {"Config.ini is a folder", Make::kFolder, nullptr,
         named + L" is a folder, not a regular file.\r\n"},
        {"Config.ini is a FIFO", Make::kFifo, nullptr,
         named + L" is a FIFO, not a regular file.\r\n"},
        {"Config.ini leads to /dev/zero", Make::kLinkToZero, nullptr,
         named + L" is a device, not a regular file.\r\n"},
        {"Config.ini of 5 MiB", Make::kSparse, nullptr, named + L" is larger than 4 MiB.\r\n"},
    };
    for (const Case& c : cases) {
        fs::remove_all(file);
        switch (c.make) {
            case Make::kNothing:
                break;
            case Make::kText:
                WriteConfig(c.text);
                break;
            case Make::kFolder:
                fs::create_directory(file);
                break;
            case Make::kFifo:
                ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
                break;
            case Make::kLinkToZero:
                fs::create_symlink("/dev/zero", file);
                break;
            case Make::kSparse:
                WriteConfig("[Firmware Update]\r\nDdc2biAddr=1\r\n");
                fs::resize_file(file, 5 << 20);
                break;
        }
        for (ConfigProgram program : {C, G}) {
            IspConfig config;
            config.ddcAddress = 0x42;
            control_.ddcAddress = 0x43;
            std::wstring message;
            EXPECT_FALSE(LoadConfigFromFolder(program, folder_, config, control_, message))
                << c.what;
            EXPECT_EQ(message, (program == C ? consoleMessage : guiMessage) + c.why) << c.what;
            EXPECT_EQ(config.ddcAddress, 0x42u) << c.what;
            EXPECT_EQ(control_.ddcAddress, 0x43u) << c.what;
        }
    }
}

TEST_F(LoadConfigTest, FailsWithAGeneralFailureWithoutAProgramFolder) {
    WriteConfig("[Firmware Update]\r\n");
    for (ConfigProgram program : {C, G}) {
        IspConfig config;
        std::wstring message;
        EXPECT_FALSE(LoadConfigFromFolder(program, L"", config, control_, message));
        EXPECT_EQ(message, L"General file access failure.\r\n");
    }
}

TEST(LoadConfig, ReadsFromTheRunningProgramsFolder) {
    // The test program's own folder holds no Config.ini.
    ZorvanControl control;
    IspConfig config;
    std::wstring message;
    EXPECT_FALSE(LoadConfig(C, config, control, message));
    EXPECT_EQ(message, L"Please ensure that Config.ini is present and is not corrupted.\r\n");
}

}  // namespace
}  // namespace zorvan
