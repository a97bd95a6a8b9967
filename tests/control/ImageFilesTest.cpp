// The file loaders: what they keep, what they derive, and what they refuse with which message.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/control/ZorvanControl.h"
#include "core/platform/Text.h"

namespace zorvan {
namespace {

namespace fs = std::filesystem;

class ImageFilesTest : public ::testing::Test {
protected:
    ImageFilesTest() {
        folder_ = fs::temp_directory_path() /
                  ("zorvan-image-files-" +
                   std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder_);
        fs::create_directories(folder_);
    }
    ~ImageFilesTest() override { fs::remove_all(folder_); }

    std::wstring Write(const std::string& name, const std::vector<uint8_t>& bytes) {
        const fs::path path = folder_ / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return FromUtf8(path.string());
    }
    std::wstring Missing() const { return FromUtf8((folder_ / "missing.bin").string()); }
    std::wstring Folder() const { return FromUtf8(folder_.string()); }

    static std::vector<uint8_t> Bytes(size_t size, uint8_t fill) {
        return std::vector<uint8_t>(size, fill);
    }
    // A driver file: little-endian length header, code, optional extra bytes.
    static std::vector<uint8_t> Driver(uint32_t announced, size_t code) {
        std::vector<uint8_t> bytes = {
            static_cast<uint8_t>(announced), static_cast<uint8_t>(announced >> 8),
            static_cast<uint8_t>(announced >> 16), static_cast<uint8_t>(announced >> 24)};
        bytes.resize(4 + code, 0x5A);
        return bytes;
    }
    static std::vector<uint8_t> Firmware(size_t size) {
        std::vector<uint8_t> image(size, 0xFF);
        if (size >= 20) {
            image[size - 20] = 0x07;  // minor
            image[size - 19] = 0x01;  // major
            image[size - 18] = 0x00;  // build
        }
        return image;
    }
    static std::vector<uint8_t> Cmdb(size_t size, const char* signature = "CMDB") {
        std::vector<uint8_t> bytes(size, 0x00);
        std::copy(signature, signature + std::min<size_t>(4, size), bytes.begin());
        return bytes;
    }

    ZorvanControl control;

private:
    fs::path folder_;
};

// --- driver ---

TEST_F(ImageFilesTest, DriverWithoutHeaderIsAllCodeRoundedTo512) {
    std::vector<uint8_t> file = Bytes(1000, 0x12);
    control.driverPath = Write("driver.bin", file);
    std::wstring text = L"untouched";
    ASSERT_TRUE(control.LoadDriverFile(text));
    EXPECT_EQ(text, L"untouched");
    EXPECT_EQ(control.driverLength, 1024);
    EXPECT_EQ(control.driverImage.size(), 1024u);
    EXPECT_TRUE(std::equal(file.begin(), file.end(), control.driverImage.begin()));
    EXPECT_FALSE(control.driverHasHeader);
    EXPECT_EQ(control.driverCodeLength, 1024u);
    EXPECT_FALSE(control.driverHasSignature);
    EXPECT_EQ(control.driverPayload, control.driverImage.data());
}

TEST_F(ImageFilesTest, DriverHeaderAndSignatureAreFound) {
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        bool header;
        uint32_t code;
        bool signature;
    };
    const Case cases[] = {
        {"header, no signature", Driver(0x1000, 0x1000), true, 0x1000, false},
        {"header and signature", Driver(0x1000, 0x1000 + 256), true, 0x1000, true},
        {"one signature byte short", Driver(0x1000, 0x1000 + 255), true, 0x1000, false},
        {"largest header", Driver(0x4000, 0x4000 + 256), true, 0x4000, true},
        {"empty code", Driver(0, 0), true, 0, false},
        // 0x01004000 is no header: the file is all code.
        {"value above 0x4000", Driver(0x01004000, 596), false, 1024, false},
        {"first byte not zero", Driver(0x1001, 0x1001), false, 0x1200, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        control.driverPath = Write("driver.bin", c.file);
        std::wstring text;
        ASSERT_TRUE(control.LoadDriverFile(text)) << ToUtf8(text);
        EXPECT_EQ(control.driverHasHeader, c.header);
        EXPECT_EQ(control.driverCodeLength, c.code);
        EXPECT_EQ(control.driverHasSignature, c.signature);
        EXPECT_EQ(control.driverLength % 512, 0);
        EXPECT_EQ(control.driverPayload, control.driverImage.data() + (c.header ? 4 : 0));
    }
}

TEST_F(ImageFilesTest, DriverThatLaterStepsWouldOverrunIsRefused) {
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        std::wstring message;
    };
    const Case cases[] = {
        {"header announces more than the file", Driver(0x1000, 100),
         L"Incorrect driver file: header announces 4096 bytes, file holds 100!\r\n"},
        {"header announces one byte more", Driver(0x0100, 0xFF),
         L"Incorrect driver file: header announces 256 bytes, file holds 255!\r\n"},
        {"too long without header", Bytes(0x4001, 0x12),
         L"Incorrect driver file: 16385 bytes without header, more than 16384!\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        control.driverPath = Write("driver.bin", c.file);
        std::wstring text;
        EXPECT_FALSE(control.LoadDriverFile(text));
        EXPECT_EQ(text, c.message);
        EXPECT_TRUE(control.driverImage.empty());
        EXPECT_EQ(control.driverPayload, nullptr);
        EXPECT_EQ(control.driverLength, 0);
    }
    control.driverPath = Write("driver.bin", Bytes(0x4000, 0x12));
    std::wstring text;
    EXPECT_TRUE(control.LoadDriverFile(text));
    EXPECT_EQ(control.driverLength, 0x4000);
}

TEST_F(ImageFilesTest, EmptyDriverLoadsAsNoCode) {
    control.driverPath = Write("driver.bin", {});
    std::wstring text;
    ASSERT_TRUE(control.LoadDriverFile(text));
    EXPECT_EQ(control.driverLength, 0);
    EXPECT_TRUE(control.driverImage.empty());
    EXPECT_FALSE(control.driverHasHeader);
    EXPECT_EQ(control.driverPayload, nullptr);
}

TEST_F(ImageFilesTest, SecondLoadReplacesTheFirst) {
    control.driverPath = Write("a.bin", Bytes(600, 0x11));
    std::wstring text;
    ASSERT_TRUE(control.LoadDriverFile(text));
    control.driverPath = Write("b.bin", Driver(0x1000, 0x1100));
    ASSERT_TRUE(control.LoadDriverFile(text));
    EXPECT_EQ(control.driverImage.size(), 4608u);
    EXPECT_EQ(control.driverImage[0], 0x00);
    EXPECT_EQ(control.driverImage[600], 0x5A);
    EXPECT_TRUE(control.driverHasHeader);

    // A failed load leaves nothing of the earlier file in use.
    control.driverPath = Missing();
    EXPECT_FALSE(control.LoadDriverFile(text));
    EXPECT_TRUE(control.driverImage.empty());
    EXPECT_FALSE(control.driverHasHeader);
    EXPECT_EQ(control.driverCodeLength, 0u);
}

// --- firmware ---

TEST_F(ImageFilesTest, FirmwareVersionComesFromTheImage) {
    control.firmwarePath = Write("fw.bin", Firmware(0x80000));
    std::wstring text;
    ASSERT_TRUE(control.LoadFirmwareFile(text));
    EXPECT_EQ(control.binVersion, 0x000107u);
    EXPECT_EQ(control.firmwareLength, 0x80000);
    EXPECT_EQ(control.firmwareImage.size(), 0x80000u);
}

TEST_F(ImageFilesTest, FirmwareOfAnotherSizeIsRefused) {
    for (const size_t size : {size_t{0}, size_t{19}, size_t{0x7FFFF}, size_t{0x80001}}) {
        SCOPED_TRACE(size);
        control.firmwarePath = Write("good.bin", Firmware(0x80000));
        std::wstring text;
        ASSERT_TRUE(control.LoadFirmwareFile(text));
        control.firmwarePath = Write("fw.bin", Firmware(size));
        EXPECT_FALSE(control.LoadFirmwareFile(text));
        EXPECT_EQ(text, Format(L"Incorrect FW file: %u bytes instead of 524288!\r\n",
                               static_cast<unsigned>(size)));
        EXPECT_EQ(control.binVersion, 0u);
        EXPECT_EQ(control.firmwareLength, 0);
        EXPECT_TRUE(control.firmwareImage.empty());
    }
}

// --- ESM ---

TEST_F(ImageFilesTest, EsmKeepsFileLengthAndPayloadStart) {
    control.esmPath = Write("esm.bin", Driver(0x200, 0x200));
    std::wstring text;
    ASSERT_TRUE(control.LoadEsmFile(text));
    EXPECT_EQ(control.esmLength, 0x204);
    EXPECT_EQ(control.esmImage.size(), 1024u);
    EXPECT_EQ(control.esmPayload, control.esmImage.data() + 4);

    control.esmPath = Write("esm.bin", Driver(257, 300));
    EXPECT_TRUE(control.LoadEsmFile(text));
    EXPECT_EQ(control.esmLength, 304);
}

TEST_F(ImageFilesTest, EsmThatTheDownloadWouldOverrunIsRefused) {
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        std::wstring message;
    };
    const Case cases[] = {
        {"header announces more than the file", Driver(0x1000, 0x0FFF),
         L"Incorrect ESM file: header announces 4096 bytes, file holds 4095!\r\n"},
        {"payload of 256 bytes", Driver(256, 256),
         L"Incorrect ESM file: payload of 256 bytes, more than 256 needed!\r\n"},
        {"empty payload", Driver(0, 10),
         L"Incorrect ESM file: payload of 0 bytes, more than 256 needed!\r\n"},
        {"no header", {0x00, 0x01}, L"Incorrect ESM file: no length header!\r\n"},
        {"empty file", {}, L"Incorrect ESM file: no length header!\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        control.esmPath = Write("esm.bin", c.file);
        std::wstring text;
        EXPECT_FALSE(control.LoadEsmFile(text));
        EXPECT_EQ(text, c.message);
        EXPECT_TRUE(control.esmImage.empty());
        EXPECT_EQ(control.esmPayload, nullptr);
    }
}

// --- Customized Data Block ---

TEST_F(ImageFilesTest, CmdbFileChecks) {
    struct Case {
        const char* name;
        std::vector<uint8_t> file;
        bool loads;
        std::wstring message;
    };
    const Case cases[] = {
        {"record", Cmdb(128), true, L""},
        {"up to the end of the flash", Cmdb(0x2000), true, L""},
        {"past the end of the flash", Cmdb(0x2001), false,
         L"Incorrect Customized Data Block file: 8193 bytes, more than 8192!\r\n"},
        {"lower-case signature", Cmdb(128, "cmdb"), false,
         L"Incorrect Customized Data Block file!\r\n"},
        {"shorter than the signature", Cmdb(3), false,
         L"Incorrect Customized Data Block file!\r\n"},
        {"empty", {}, false, L"Incorrect Customized Data Block file!\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        control.cmdbPath = Write("cmdb.bin", c.file);
        std::wstring text;
        EXPECT_EQ(control.LoadCmdbFile(text), c.loads);
        EXPECT_EQ(text, c.message);
        EXPECT_EQ(control.cmdbLength, c.loads ? static_cast<int32_t>(c.file.size()) : 0);
        EXPECT_EQ(control.cmdbImage.empty(), !c.loads);
    }
}

// --- open and read failures ---

struct LoaderKind {
    std::wstring ZorvanControl::*path;
    bool (ZorvanControl::*load)(std::wstring&);
    std::wstring open;
    std::wstring read;
};

const LoaderKind kLoaderKinds[] = {
    {&ZorvanControl::driverPath, &ZorvanControl::LoadDriverFile, L"Open driver file failed!\r\n",
     L"Read driver file error!\r\n"},
    {&ZorvanControl::firmwarePath, &ZorvanControl::LoadFirmwareFile, L"Open FW file failed!\r\n",
     L"Read FW file error!\r\n"},
    {&ZorvanControl::esmPath, &ZorvanControl::LoadEsmFile, L"Open ESM file failed!\r\n",
     L"Read ESM file error!\r\n"},
    {&ZorvanControl::cmdbPath, &ZorvanControl::LoadCmdbFile,
     L"Open Customized Data Block file failed!\r\n", L"Read Customized Data Block file error!\r\n"},
};

TEST_F(ImageFilesTest, OpenAndReadFailuresHaveEachKindsMessage) {
    // A kernel attribute file announces 4096 bytes but holds a few: it opens, then falls short.
    const char* shortFile = "/sys/devices/system/cpu/online";
    const bool haveShortFile = fs::exists(shortFile);
    for (const LoaderKind& k : kLoaderKinds) {
        SCOPED_TRACE(ToUtf8(k.open));
        for (const std::wstring& path : {Missing(), std::wstring()}) {
            control.*k.path = path;
            std::wstring text;
            EXPECT_FALSE((control.*k.load)(text));
            EXPECT_EQ(text, k.open);
        }
        if (haveShortFile) {
            control.*k.path = FromUtf8(shortFile);
            std::wstring text;
            EXPECT_FALSE((control.*k.load)(text));
            EXPECT_EQ(text, k.read);
        }
    }
}

// A folder, a device or a FIFO is never read: the open fails at once (a FIFO without a
// writer would otherwise hang the program, /dev/zero would fill the memory) and the
// message names what was found.
TEST_F(ImageFilesTest, OnlyRegularFilesAreOpened) {
    const fs::path fifo = fs::path(ToUtf8(Folder())) / "fifo.bin";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const fs::path link = fs::path(ToUtf8(Folder())) / "zero.bin";
    fs::create_symlink("/dev/zero", link);
    const struct {
        std::wstring path;
        std::wstring why;
    } cases[] = {
        {Folder(), L"\"" + Folder() + L"\" is a folder, not a regular file.\r\n"},
        {FromUtf8(fifo.string()),
         L"\"" + FromUtf8(fifo.string()) + L"\" is a FIFO, not a regular file.\r\n"},
        {FromUtf8(link.string()),
         L"\"" + FromUtf8(link.string()) + L"\" is a device, not a regular file.\r\n"},
        {L"/dev/null", L"\"/dev/null\" is a device, not a regular file.\r\n"},
    };
    for (const LoaderKind& k : kLoaderKinds) {
        for (const auto& c : cases) {
            SCOPED_TRACE(ToUtf8(k.open + c.path));
            control.*k.path = c.path;
            std::wstring text;
            EXPECT_FALSE((control.*k.load)(text));
            EXPECT_EQ(text, k.open + c.why);
        }
    }
}

// Each kind's size limit is checked before a byte is read or a buffer allocated, so a
// huge (here sparse) file costs nothing and says what is wrong with it.
TEST_F(ImageFilesTest, FilesLargerThanTheirKindAreRefusedUnread) {
    const struct {
        LoaderKind kind;
        uintmax_t size;
        std::wstring message;
    } cases[] = {
        {kLoaderKinds[0], 0x100001,
         L"Incorrect driver file: 1048577 bytes, more than 1048576!\r\n"},
        {kLoaderKinds[1], uintmax_t{5} << 30,
         L"Incorrect FW file: 5368709120 bytes instead of 524288!\r\n"},
        {kLoaderKinds[2], 0x100001, L"Incorrect ESM file: 1048577 bytes, more than 1048576!\r\n"},
        {kLoaderKinds[3], uintmax_t{3} << 30,
         L"Incorrect Customized Data Block file: 3221225472 bytes, more than 8192!\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.message));
        const std::wstring path = Write("huge.bin", {});
        fs::resize_file(ToUtf8(path), c.size);
        control.*c.kind.path = path;
        std::wstring text;
        EXPECT_FALSE((control.*c.kind.load)(text));
        EXPECT_EQ(text, c.message);
    }
}

}  // namespace
}  // namespace zorvan
