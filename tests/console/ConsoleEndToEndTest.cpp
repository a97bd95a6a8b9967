#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tests/console/ProgramRunner.h"

namespace zorvan::testing {
namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::Not;
using ::testing::StartsWith;

const std::string kBanner = "Zorvan ISP Tool v2.1f\r\n";
// The adapter selection's transcript on a machine without GPU drivers: logged, not printed.
const std::string kAdapterReport =
    "Gfx Selection = 0\r\n"
    "Graphics adapter initialization - NVIDIA: failed! (-2)\r\n"
    "Graphics adapter initialization - AMD: Loading DLL failed!\r\n"
    "Graphics adapter initialization - Intel (LS-PCON): failed! (-2147221005)\r\n"
    "Graphics adapter initialization - Linux: no DisplayPort AUX device!\r\n";

// The real kernel answers the Linux backend here: a PC with DRM graphics has another report.
bool HostHasDrm() { return std::filesystem::exists("/sys/class/drm"); }
const std::string kAdapterFailed = "Graphics adapter initialization failed!\r\n";
const std::string kNoConfig = "Please ensure that Config.ini is present and is not corrupted.\r\n";
const std::string kWarn = "\x1b[0;94;103m";  // attribute 0xE9
const std::string kNormal = "\x1b[0m";

std::string Usage(const std::string& program) {
    return program +
           " [command-option]\r\n\r\n"
           "Command-option:\r\n"
           "  -ChipInfo         Display chip version, F/W version and chip serial number.\r\n"
           "  -VerifyDevCert    Verify \"Device Certificate\" key data in SPI flash.\r\n"
           "  -WriteDevCert     Write \"Device Certificate\" key data into SPI flash only.\r\n"
           "  -WriteCmdb        Write \"Customized Data Block\" data into SPI flash only.\r\n"
           "  -VerifyCmdb       Verify \"Customized Data Block\" data into SPI flash only.\r\n"
           "  -Run              Run ISP process based on \"config.ini\" file.\r\n\r\n"
           "Command-option is not case-sensitive.\r\n\r\n";
}

// Every run starts like this on this machine, before the command's own text.
const std::string kStartOutput = kBanner + kAdapterFailed;
const std::string kStartLog = kAdapterReport + kAdapterFailed;

// The log's own text, matched literally inside a regular expression.
std::string RegexLiteral(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (std::string_view("\\^$.|?*+()[]{}").find(c) != std::string_view::npos) {
            out += '\\';
        }
        out += c;
    }
    return out;
}

// A program folder with every input file present and a Config.ini naming them.
class ConsoleEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        if (HostHasDrm()) {
            GTEST_SKIP() << "this PC has DRM graphics devices; the texts assume none";
        }
        runner_.WriteFile("driver.bin", "driver");
        runner_.WriteFile("firmware.bin", "firmware");
        runner_.WriteFile("esm.bin", "esm");
        runner_.WriteFile("cmdb.bin", "cmdb");
        runner_.WriteFile("keys/SPI_1000_1999.bin", "keys");
        WriteConfig("");
    }
    // The given lines come first, so they win over the standard ones.
    void WriteConfig(const std::string& lines) {
        runner_.WriteConfig("[Firmware Update]\r\n" + lines +
                            "FWFilePath=firmware.bin\r\nDriverFilePath=driver.bin\r\n"
                            "ESMFilePath=esm.bin\r\nKeysFilePath=keys\\\r\n"
                            "CMDBFilePath=\"cmdb.bin\"\r\n");
    }
    RunResult Run(const std::vector<std::string>& args, const RunOptions& options = {}) {
        RunResult result = runner_.Run(args, options);
        EXPECT_EQ(result.exitStatus, 0) << result.errors;
        return result;
    }
    std::string Log() const { return runner_.ReadLog().value_or("<no log>"); }

    ProgramRunner runner_;
};

TEST_F(ConsoleEndToEnd, WithoutOneValidOptionShowsTheUsage) {
    const std::vector<std::vector<std::string>> argumentLists = {
        {}, {"-Run", "-Run"}, {"-Runs"}, {"Run"}, {"-Chip"}, {""}, {"-ChipInfo", "extra"},
    };
    for (const auto& args : argumentLists) {
        const RunResult result = Run(args);
        const std::string shown = args.empty() ? "(none)" : args[0];
        EXPECT_EQ(result.output, kStartOutput + Usage("./ZorvanISP")) << shown;
        EXPECT_EQ(Log(), kStartLog) << shown;  // the usage text is not logged
    }
}

TEST_F(ConsoleEndToEnd, RunOptionInAnyCaseStartsAPlainRun) {
    for (const std::string option : {"-run", "-RUN", "-Run", "-rUN"}) {
        const RunResult result = Run({option});
        EXPECT_THAT(result.output, StartsWith(kStartOutput + "[Run ISP]\r\n")) << option;
        EXPECT_THAT(Log(), StartsWith(kStartLog + "[Run ISP]\r\n")) << option;
        EXPECT_THAT(result.output, Not(HasSubstr("command-option"))) << option;
    }
}

TEST_F(ConsoleEndToEnd, OtherOptionsPrintAndLogTheirHeader) {
    const struct {
        const char* option;
        const char* header;
    } cases[] = {
        {"-ChipInfo", "[Chip Information]\r\n"},
        {"-fullerase", "[SPI Flash: Full Erase]\r\n"},
        {"-VERIFYDEVCERT", "[Verify Device Certificate]\r\n"},
        {"-WriteDevCert", "[Write Device Certificate]\r\n"},
        {"-writecmdb", "[Write CMDB]\r\n"},
        {"-VerifyCmdb", "[Verify CMDB]\r\n"},
    };
    for (const auto& c : cases) {
        const RunResult result = Run({c.option});
        EXPECT_THAT(result.output, StartsWith(kStartOutput + c.header)) << c.option;
        EXPECT_THAT(Log(), StartsWith(kStartLog + c.header)) << c.option;
        EXPECT_THAT(result.output, Not(HasSubstr("Can not find"))) << c.option;
    }
}

TEST_F(ConsoleEndToEnd, WithoutItsConfigurationSaysSoAndLeavesTheLogAlone) {
    const struct {
        const char* what;
        const char* config;  // null: no Config.ini
    } cases[] = {
        {"no Config.ini", nullptr},
        {"empty Config.ini", ""},
        {"no Firmware Update section",
         "[Simulator]\r\nEnabled=0\r\n[Firmware]\r\nFWFilePath=x\r\n"},
    };
    for (const auto& c : cases) {
        runner_.Remove("Config.ini");
        if (c.config != nullptr) {
            runner_.WriteConfig(c.config);
        }
        // A log left by an earlier run stays as it is; no log is created.
        runner_.WriteFile("ZorvanQuillon.log", "earlier run\r\n");
        EXPECT_EQ(Run({"-Run"}).output, kNoConfig) << c.what;
        EXPECT_EQ(Log(), "earlier run\r\n") << c.what;
        runner_.Remove("ZorvanQuillon.log");
        EXPECT_EQ(Run({}).output, kNoConfig) << c.what;
        EXPECT_FALSE(runner_.Exists("ZorvanQuillon.log")) << c.what;
    }
}

TEST_F(ConsoleEndToEnd, MissingInputFilesEndTheRunWithTheirMessage) {
    const std::string noCmdb =
        "Can not find valid CMDB file!\r\nPlease assign CMDB file path in \"config.ini\":\r\n"
        "  CmdbFilePath=\"cmdb.bin\"\r\n";
    const struct {
        const char* what;
        const char* option;
        const char* configLines;
        const char* removed;  // input removed from the folder, or null
        std::string shown;    // header and message
    } cases[] = {
        {"run without driver", "-Run", "", "driver.bin", "Can not find valid ISP driver!\r\n"},
        {"erase without driver", "-FullErase", "", "driver.bin",
         "[SPI Flash: Full Erase]\r\nCan not find valid ISP driver!\r\n"},
        {"write certificate without keys", "-WriteDevCert", "", "keys",
         "[Write Device Certificate]\r\nCan not find valid Key file!\r\n"},
        {"verify certificate without keys", "-VerifyDevCert", "", "keys",
         "[Verify Device Certificate]\r\nCan not find valid Key file!\r\n"},
        {"write CMDB without file", "-WriteCmdb", "", "cmdb.bin", "[Write CMDB]\r\n" + noCmdb},
        {"verify CMDB not configured", "-VerifyCmdb", "CMDBFilePath=\"\"\r\n", nullptr,
         "[Verify CMDB]\r\n" + noCmdb},
        {"run with nothing to write", "-Run", "FWFilePath=\"\"\r\n", nullptr,
         "Can not find valid files!\r\n"},
        {"secure run without ESM", "-Run", "SecureISP=1\r\n", "esm.bin",
         "Can not find valid ESM file!\r\n"},
    };
    for (const auto& c : cases) {
        SetUp();
        WriteConfig(c.configLines);
        if (c.removed != nullptr) {
            runner_.Remove(c.removed);
        }
        EXPECT_EQ(Run({c.option}).output, kStartOutput + c.shown) << c.what;
        EXPECT_EQ(Log(), kStartLog + c.shown) << c.what;
    }
}

TEST_F(ConsoleEndToEnd, ChipInfoNeedsNoIspDriver) {
    runner_.Remove("driver.bin");
    const RunResult result = Run({"-ChipInfo"});
    EXPECT_THAT(result.output, StartsWith(kStartOutput + "[Chip Information]\r\n"));
    EXPECT_THAT(result.output, Not(HasSubstr("Can not find valid ISP driver!")));
}

TEST_F(ConsoleEndToEnd, RunBecomesPlainOrSecureByTheFilesPresent) {
    const struct {
        const char* what;
        const char* configLines;
        std::vector<const char*> removed;
        const char* shown;
    } cases[] = {
        {"plain", "", {}, "[Run ISP]\r\n"},
        {"secure", "SecureISP=1\r\n", {}, "[Run Secure ISP]\r\n"},
        {"secure without firmware writes the certificate plainly",
         "SecureISP=1\r\nProgramDeviceCertificate=1\r\n", {"firmware.bin"}, "[Run ISP]\r\n"},
        {"CMDB only", "ProgramCMDB=1\r\nFWFilePath=\"\"\r\n", {}, "[Run ISP]\r\n"},
        {"CMDB missing", "ProgramCMDB=1\r\n", {"cmdb.bin"},
         "Can not find valid CMDB file!\r\n[Run ISP]\r\n"},
        {"key folder and CMDB missing", "ProgramCMDB=1\r\nProgramDeviceCertificate=1\r\n",
         {"cmdb.bin", "keys"}, "Can not find valid Key file!\r\n[Run ISP]\r\n"},
    };
    for (const auto& c : cases) {
        SetUp();
        WriteConfig(c.configLines);
        for (const char* name : c.removed) {
            runner_.Remove(name);
        }
        const RunResult result = Run({"-Run"});
        EXPECT_THAT(result.output, StartsWith(kStartOutput + c.shown)) << c.what;
        EXPECT_THAT(Log(), StartsWith(kStartLog + c.shown)) << c.what;
    }
}

TEST_F(ConsoleEndToEnd, AbsolutePathsInTheConfigurationAreUsedAsTheyAre) {
    ProgramRunner elsewhere;  // just a second folder
    elsewhere.WriteFile("tools/driver.bin", "driver");
    WriteConfig("DriverFilePath=" + (elsewhere.Folder() / "tools/driver.bin").string() + "\r\n");
    runner_.Remove("driver.bin");
    EXPECT_THAT(Run({"-Run"}).output, StartsWith(kStartOutput + "[Run ISP]\r\n"));
}

TEST_F(ConsoleEndToEnd, LogIsStartedAfreshUnlessItIsKept) {
    const std::string bar(36, '=');
    const std::string separator =
        bar + "\r\n[0-9]{2}/[0-9]{2}/[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2}\r\n" + bar + "\r\n";

    runner_.WriteFile("ZorvanQuillon.log", "earlier run\r\n");
    WriteConfig("NotDeleteLogFile=0\r\n");
    Run({"-Runs"});
    Run({"-Runs"});
    EXPECT_EQ(Log(), kStartLog);  // only the second run, without a separator block

    runner_.WriteFile("ZorvanQuillon.log", "earlier run\r\n");
    WriteConfig("NotDeleteLogFile=1\r\n");
    Run({"-Runs"});
    Run({"-Runs"});
    EXPECT_THAT(Log(), MatchesRegex("earlier run\r\n" + separator + RegexLiteral(kStartLog) +
                                    separator + RegexLiteral(kStartLog)));

    // Any value but 1 deletes.
    WriteConfig("NotDeleteLogFile=5\r\n");
    Run({"-Runs"});
    EXPECT_EQ(Log(), kStartLog);
}

TEST_F(ConsoleEndToEnd, ReadsItsFolderAndLogsInTheWorkingDirectory) {
    runner_.MakeFolder("work");
    RunOptions options;
    options.workingDirectory = "work";

    // Relative paths of Config.ini are taken from the program folder, not the working one.
    const RunResult run = Run({"-Run"}, options);
    EXPECT_THAT(run.output, StartsWith(kStartOutput + "[Run ISP]\r\n"));
    EXPECT_THAT(runner_.ReadLog("work").value_or("<no log>"),
                StartsWith(kStartLog + "[Run ISP]\r\n"));
    EXPECT_FALSE(runner_.Exists("ZorvanQuillon.log"));

    // The usage names the program as it was typed.
    options.argv0 = "../ZorvanISP";
    EXPECT_EQ(Run({}, options).output, kStartOutput + Usage("../ZorvanISP"));
    options.argv0.clear();
    EXPECT_EQ(Run({}, options).output, kStartOutput + Usage(runner_.ProgramPath().string()));
}

TEST_F(ConsoleEndToEnd, ColoursWarningsWhenAskedForAndNeverLogsColour) {
    runner_.Remove("driver.bin");
    RunOptions coloured;
    coloured.environment = {{"CLICOLOR_FORCE", "1"}};
    EXPECT_EQ(Run({"-Run"}, coloured).output,
              kBanner + kWarn + kAdapterFailed + kNormal + kWarn +
                  "Can not find valid ISP driver!\r\n" + kNormal);
    EXPECT_EQ(Log(), kStartLog + "Can not find valid ISP driver!\r\n");

    RunOptions noColour;
    noColour.environment = {{"CLICOLOR_FORCE", "1"}, {"NO_COLOR", "1"}};
    EXPECT_EQ(Run({"-Run"}, noColour).output, kStartOutput + "Can not find valid ISP driver!\r\n");

    runner_.Remove("Config.ini");
    EXPECT_EQ(Run({"-Run"}, coloured).output, kWarn + kNoConfig + kNormal);
}

}  // namespace
}  // namespace zorvan::testing
