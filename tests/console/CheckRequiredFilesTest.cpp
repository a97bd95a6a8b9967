#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "console/CheckRequiredFiles.h"
#include "core/control/ZorvanControl.h"
#include "core/platform/Text.h"

namespace zorvan::console {
namespace {

namespace fs = std::filesystem;

constexpr wchar_t kNoDriver[] = L"Can not find valid ISP driver!\r\n";
constexpr wchar_t kNoKey[] = L"Can not find valid Key file!\r\n";
constexpr wchar_t kNoCmdbCommand[] =
    L"Can not find valid CMDB file!\r\nPlease assign CMDB file path in \"config.ini\":\r\n"
    L"  CmdbFilePath=\"cmdb.bin\"\r\n";
constexpr wchar_t kNoCmdb[] = L"Can not find valid CMDB file!\r\n";
constexpr wchar_t kNoFiles[] = L"Can not find valid files!\r\n";
constexpr wchar_t kNoEsm[] = L"Can not find valid ESM file!\r\n";
constexpr wchar_t kRunIsp[] = L"[Run ISP]\r\n";
constexpr wchar_t kRunSecure[] = L"[Run Secure ISP]\r\n";

struct Case {
    const char* what;
    ConsoleCommand command;
    const char* present;  // D driver, F firmware, E ESM, K key folder, M CMDB file
    const char* on;       // switches on before: s secure ISP, c certificate, m CMDB
    bool ok;
    ConsoleCommand commandAfter;
    std::wstring message;
    const char* onAfter;  // c and m switches still on after the check
};

bool Has(const char* letters, char letter) { return std::strchr(letters, letter) != nullptr; }

// A folder where each configured file exists or not as a case says.
class CheckRequiredFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "zorvan-check-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    void Prepare(const Case& c) {
        for (const char* name : {"driver.bin", "firmware.bin", "esm.bin", "cmdb.bin", "keys"}) {
            fs::remove_all(dir_ / name);
        }
        auto make = [&](char letter, const char* name) {
            if (Has(c.present, letter)) {
                std::ofstream(dir_ / name) << "x";
            }
        };
        make('D', "driver.bin");
        make('F', "firmware.bin");
        make('E', "esm.bin");
        make('M', "cmdb.bin");
        if (Has(c.present, 'K')) {
            fs::create_directory(dir_ / "keys");
        }
        const std::wstring folder = FromUtf8(dir_.string()) + L"/";
        control_.driverPath = folder + L"driver.bin";
        control_.firmwarePath = folder + L"firmware.bin";
        control_.esmPath = folder + L"esm.bin";
        control_.keysPath = folder + L"keys";
        control_.cmdbPath = folder + L"cmdb.bin";
        control_.secureIsp = Has(c.on, 's') ? 1 : 0;
        config_ = IspConfig{};
        config_.secureIsp = Has(c.on, 's');
        config_.programDeviceCertificate = Has(c.on, 'c');
        config_.programCmdb = Has(c.on, 'm');
        config_.firmwareReady = true;  // as loaded; the check recomputes it
    }

    fs::path dir_;
    ZorvanControl control_;
    IspConfig config_;
};

TEST_F(CheckRequiredFilesTest, DecidesAsTheFilesPresentAllow) {
    constexpr ConsoleCommand RUN = CMD_RUN;
    constexpr ConsoleCommand ISP = CMD_RUN_ISP;
    constexpr ConsoleCommand SECURE = CMD_RUN_SECURE_ISP;
    constexpr ConsoleCommand ERASE = CMD_FULL_ERASE;
    const std::wstring noCmdbThenRun = std::wstring(kNoCmdb) + kRunIsp;
    const std::wstring noKeyThenRun = std::wstring(kNoKey) + kRunIsp;
    const std::wstring noKeyThenSecure = std::wstring(kNoKey) + kRunSecure;
    const Case cases[] = {
        // The ISP driver is needed by every command that is checked, and checked first.
        {"run, all there", RUN, "DFEKM", "", true, ISP, kRunIsp, ""},
        {"run without driver", RUN, "FEKM", "cm", false, RUN, kNoDriver, "cm"},
        {"erase without driver", ERASE, "FEKM", "", false, ERASE, kNoDriver, ""},
        {"erase needs only the driver", ERASE, "D", "", true, ERASE, L"", ""},
        {"nothing there", CMD_WRITE_CMDB, "", "", false, CMD_WRITE_CMDB, kNoDriver, ""},
        // Certificate and CMDB commands need their own input.
        {"write cert, no keys", CMD_WRITE_DEV_CERT, "DFEM", "", false, CMD_WRITE_DEV_CERT,
         kNoKey, ""},
        {"verify cert, no keys", CMD_VERIFY_DEV_CERT, "DFEM", "", false, CMD_VERIFY_DEV_CERT,
         kNoKey, ""},
        {"write cert", CMD_WRITE_DEV_CERT, "DK", "", true, CMD_WRITE_DEV_CERT, L"", ""},
        {"write CMDB, no file", CMD_WRITE_CMDB, "DFEK", "", false, CMD_WRITE_CMDB,
         kNoCmdbCommand, ""},
        {"verify CMDB, no file", CMD_VERIFY_CMDB, "DFEK", "", false, CMD_VERIFY_CMDB,
         kNoCmdbCommand, ""},
        {"verify CMDB", CMD_VERIFY_CMDB, "DM", "", true, CMD_VERIFY_CMDB, L"", ""},
        {"switches kept outside -Run", CMD_VERIFY_CMDB, "DM", "cm", true, CMD_VERIFY_CMDB, L"",
         "cm"},
        // -Run: something must be left to write.
        {"run, nothing to write", RUN, "DEKM", "", false, RUN, kNoFiles, ""},
        {"run, certificate only", RUN, "DK", "c", true, ISP, kRunIsp, "c"},
        {"run, CMDB only", RUN, "DM", "m", true, ISP, kRunIsp, "m"},
        {"run, CMDB missing", RUN, "DF", "m", true, ISP, noCmdbThenRun, ""},
        {"run, key and CMDB missing: key warning only", RUN, "DF", "cm", true, ISP, noKeyThenRun,
         ""},
        {"run, all optional input missing", RUN, "D", "cm", false, RUN, kNoFiles, ""},
        // Secure ISP needs the ESM image, and a firmware image to make it secure.
        {"secure run", RUN, "DFE", "s", true, SECURE, kRunSecure, ""},
        {"secure run without ESM", RUN, "DFKM", "scm", false, RUN, kNoEsm, "cm"},
        {"secure run without firmware runs plainly", RUN, "DK", "sc", true, ISP, kRunIsp, "c"},
        {"secure run, key missing", RUN, "DFE", "sc", true, SECURE, noKeyThenSecure, ""},
    };
    for (const Case& c : cases) {
        Prepare(c);
        ConsoleCommand command = c.command;
        std::wstring message = L"stale text";
        EXPECT_EQ(CheckRequiredFiles(control_, config_, command, message), c.ok) << c.what;
        EXPECT_EQ(command, c.commandAfter) << c.what;
        EXPECT_EQ(message, c.message) << c.what;
        EXPECT_EQ(config_.programDeviceCertificate, Has(c.onAfter, 'c')) << c.what;
        EXPECT_EQ(config_.programCmdb, Has(c.onAfter, 'm')) << c.what;
        EXPECT_EQ(config_.firmwareReady, Has(c.present, 'D') && Has(c.present, 'F')) << c.what;
    }
}

TEST_F(CheckRequiredFilesTest, EmptyPathsNeverExist) {
    control_.driverPath.clear();
    ConsoleCommand command = CMD_FULL_ERASE;
    std::wstring message;
    EXPECT_FALSE(CheckRequiredFiles(control_, config_, command, message));
    EXPECT_EQ(message, kNoDriver);
}

TEST_F(CheckRequiredFilesTest, AFolderOrFileOfThePathCounts) {
    // Existence is all that is checked: a key "folder" that is a file, a driver that is a
    // folder.
    fs::create_directory(dir_ / "driver.bin");
    std::ofstream(dir_ / "keys") << "x";
    const std::wstring folder = FromUtf8(dir_.string()) + L"/";
    control_.driverPath = folder + L"driver.bin";
    control_.keysPath = folder + L"keys";
    ConsoleCommand command = CMD_VERIFY_DEV_CERT;
    std::wstring message;
    EXPECT_TRUE(CheckRequiredFiles(control_, config_, command, message));
    EXPECT_EQ(message, L"");
}

}  // namespace
}  // namespace zorvan::console
