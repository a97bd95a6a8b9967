// Reading whole files: only regular files, never past a limit, and why not in one clause.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/platform/Files.h"
#include "core/platform/Text.h"

namespace zorvan::platform {
namespace {

namespace fs = std::filesystem;

class FilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "zorvan-files-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::wstring Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(dir_ / name, std::ios::binary) << bytes;
        return Path(name);
    }
    std::wstring Path(const std::string& name) const { return FromUtf8((dir_ / name).string()); }

    fs::path dir_;
};

TEST_F(FilesTest, ReadsRegularFilesUpToTheirLimit) {
    const struct {
        const char* what;
        std::string content;
        uint64_t limit;
    } cases[] = {
        {"small file", "[Firmware Update]\r\n", 4096},
        {"empty file", "", 4096},
        {"exactly the limit", std::string(100, 'x'), 100},
    };
    for (const auto& c : cases) {
        const FileContent read = ReadWholeFile(Write("f.txt", c.content), c.limit);
        ASSERT_TRUE(read) << c.what;
        EXPECT_EQ(std::string(read->begin(), read->end()), c.content) << c.what;
    }
    // A kernel file reports size 0 yet has content: it is read to its end all the same.
    const FileContent status = ReadWholeFile(L"/proc/self/status", 1 << 20);
    ASSERT_TRUE(status);
    EXPECT_NE(std::string(status->begin(), status->end()).find("Pid:"), std::string::npos);
}

// Refused before a byte is read: a FIFO (whose read would wait for a writer for ever), an
// endless device, a file larger than the reader's limit; a kernel file, whose size says
// nothing, is cut off at the limit.
TEST_F(FilesTest, RefusesWhatIsNotARegularFileOfItsKindWithoutReadingIt) {
    ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", dir_ / "zero");
    fs::create_symlink(dir_ / "nowhere", dir_ / "dangling");
    Write("large", "");
    fs::resize_file(dir_ / "large", 5 << 20);
    const std::wstring folder = FromUtf8(dir_.string());
    const struct {
        std::wstring path;
        uint64_t limit;
        FileError error;
        std::wstring description;
    } cases[] = {
        {Path("missing"), 100, FileError::kMissing, L"\"" + Path("missing") + L"\" does not exist"},
        {Path("missing/below"), 100, FileError::kMissing,
         L"\"" + Path("missing/below") + L"\" does not exist"},
        {Path("dangling"), 100, FileError::kMissing,
         L"\"" + Path("dangling") + L"\" does not exist"},
        {L"", 100, FileError::kMissing, L"\"\" does not exist"},
        {folder, 100, FileError::kNotRegular,
         L"\"" + folder + L"\" is a folder, not a regular file"},
        {Path("fifo"), 100, FileError::kNotRegular,
         L"\"" + Path("fifo") + L"\" is a FIFO, not a regular file"},
        {Path("zero"), 100, FileError::kNotRegular,
         L"\"" + Path("zero") + L"\" is a device, not a regular file"},
        {L"/dev/full", 100, FileError::kNotRegular,
         L"\"/dev/full\" is a device, not a regular file"},
        {Path("large"), 4 << 20, FileError::kTooLarge,
         L"\"" + Path("large") + L"\" is larger than 4 MiB"},
        {Path("large"), 5 * 1024 * 1024 - 1, FileError::kTooLarge,
         L"\"" + Path("large") + L"\" is larger than 5242879 bytes"},
        {L"/proc/self/maps", 10, FileError::kTooLarge,
         L"\"/proc/self/maps\" is larger than 10 bytes"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(ToUtf8(c.path));
        const FileContent read = ReadWholeFile(c.path, c.limit);
        EXPECT_FALSE(read);
        EXPECT_TRUE(read->empty());
        EXPECT_EQ(read.problem.error, c.error);
        EXPECT_EQ(DescribeFileProblem(c.path, read.problem), c.description);
    }
}

TEST_F(FilesTest, AnInputFileOfAFifoOpensNeitherWaitsNorReads) {
    ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0600), 0);
    InputFile file(Path("fifo"));
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Problem().error, FileError::kNotRegular);
    EXPECT_EQ(file.Problem().type, FileType::kFifo);
    uint8_t byte = 0;
    EXPECT_EQ(file.Read(&byte, 1), 0u);
}

TEST_F(FilesTest, SameFileWhateverLeadsThere) {
    Write("state", "S");
    Write("other", "S");
    fs::create_symlink(dir_ / "state", dir_ / "link");
    fs::create_hard_link(dir_ / "state", dir_ / "hard");
    fs::create_directory(dir_ / "sub");
    const std::wstring state = Path("state");
    for (const std::wstring& same :
         {state, Path("sub/../state"), Path("./state"), Path("link"), Path("hard")}) {
        EXPECT_TRUE(IsSameFile(state, same)) << ToUtf8(same);
    }
    for (const std::wstring& other : {Path("other"), Path("missing"), std::wstring()}) {
        EXPECT_FALSE(IsSameFile(state, other)) << ToUtf8(other);
    }
    EXPECT_FALSE(IsSameFile(Path("missing"), Path("missing")));
}

}  // namespace
}  // namespace zorvan::platform
