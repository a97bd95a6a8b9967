// Replacing a file whole: through its links, keeping its mode, never anything but a file,
// and with a temporary file no other file can be mistaken for.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "core/platform/Text.h"
#include "sim/state/AtomicFile.h"

namespace zorvan::sim {
namespace {

namespace fs = std::filesystem;

class AtomicFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "zorvan-atomic-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::error_code ignored;
        fs::permissions(dir_, fs::perms::all, ignored);
        fs::remove_all(dir_, ignored);
    }

    bool Replace(const fs::path& path, const std::string& content) const {
        return WriteFileAtomically(FromUtf8(path.string()),
                                   std::vector<uint8_t>(content.begin(), content.end()));
    }
    static void Put(const fs::path& path, const std::string& content) {
        std::ofstream(path, std::ios::binary) << content;
    }
    static std::string Get(const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream content;
        content << in.rdbuf();
        return content.str();
    }
    static unsigned Mode(const fs::path& path) {
        struct stat st {};
        EXPECT_EQ(::stat(path.c_str(), &st), 0) << path;
        return st.st_mode & 07777;
    }
    // Every name in a folder, so that a temporary file left behind shows.
    static std::set<std::string> Names(const fs::path& folder) {
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(folder)) {
            names.insert(entry.path().filename().string());
        }
        return names;
    }

    fs::path dir_;
};

TEST_F(AtomicFileTest, ReplacesTheFileALinkLeadsToAndKeepsTheLink) {
    fs::create_directory(dir_ / "chips");
    Put(dir_ / "chips" / "real.state", "old");
    // A relative link in another folder, and a link to that link.
    fs::create_symlink("chips/real.state", dir_ / "chip.state");
    fs::create_symlink("chip.state", dir_ / "again.state");
    for (const char* link : {"chip.state", "again.state"}) {
        SCOPED_TRACE(link);
        ASSERT_TRUE(Replace(dir_ / link, std::string("new via ") + link));
        EXPECT_TRUE(fs::is_symlink(dir_ / link));
        EXPECT_EQ(Get(dir_ / "chips" / "real.state"), std::string("new via ") + link);
    }
    EXPECT_EQ(fs::read_symlink(dir_ / "chip.state"), "chips/real.state");
    EXPECT_EQ(Names(dir_), (std::set<std::string>{"again.state", "chip.state", "chips"}));
    EXPECT_EQ(Names(dir_ / "chips"), std::set<std::string>{"real.state"});

    // A link to a file not made yet makes that file.
    fs::create_symlink("chips/later.state", dir_ / "later.state");
    ASSERT_TRUE(Replace(dir_ / "later.state", "made"));
    EXPECT_TRUE(fs::is_symlink(dir_ / "later.state"));
    EXPECT_EQ(Get(dir_ / "chips" / "later.state"), "made");
}

TEST_F(AtomicFileTest, KeepsTheModeOfTheFileItReplaces) {
    for (const unsigned mode : {0444u, 0640u, 0600u, 0755u}) {
        SCOPED_TRACE(mode);
        const fs::path file = dir_ / "chip.state";
        Put(file, "old");
        ASSERT_EQ(::chmod(file.c_str(), mode), 0);
        ASSERT_TRUE(Replace(file, "new"));
        EXPECT_EQ(Get(file), "new");
        EXPECT_EQ(Mode(file), mode);
        fs::remove(file);
    }
    // A new file is made as any program makes one: 0666 less the umask.
    const mode_t saved = ::umask(027);
    const bool made = Replace(dir_ / "new.state", "new");
    ::umask(saved);
    ASSERT_TRUE(made);
    EXPECT_EQ(Mode(dir_ / "new.state"), 0640u);
}

TEST_F(AtomicFileTest, RefusesWhatIsNotAFileAndLeavesItAlone) {
    fs::create_directory(dir_ / "folder.state");
    ASSERT_EQ(::mkfifo((dir_ / "fifo.state").c_str(), 0600), 0);
    fs::create_symlink("/dev/null", dir_ / "null.state");
    for (const char* name : {"folder.state", "fifo.state", "null.state"}) {
        EXPECT_FALSE(Replace(dir_ / name, "new")) << name;
    }
    EXPECT_TRUE(fs::is_directory(dir_ / "folder.state"));
    EXPECT_TRUE(fs::is_empty(dir_ / "folder.state"));
    EXPECT_TRUE(fs::is_fifo(dir_ / "fifo.state"));
    EXPECT_TRUE(fs::is_character_file(dir_ / "null.state"));
    EXPECT_EQ(Names(dir_), (std::set<std::string>{"fifo.state", "folder.state", "null.state"}));
}

// Files named as a temporary file of a fixed name would be (the target's name with ".tmp",
// with or without this process's id) belong to someone else: they stay as they are.
TEST_F(AtomicFileTest, TheTemporaryFileHasANameOfItsOwn) {
    const fs::path file = dir_ / "chip.state";
    Put(file, "old");
    const std::string pid = std::to_string(::getpid());
    Put(dir_ / ("chip.state.tmp" + pid), "another run's");
    Put(dir_ / "victim", "precious");
    fs::create_symlink("victim", dir_ / "chip.state.tmp");
    ASSERT_TRUE(Replace(file, "new"));
    EXPECT_EQ(Get(file), "new");
    EXPECT_EQ(Get(dir_ / ("chip.state.tmp" + pid)), "another run's");
    EXPECT_EQ(Get(dir_ / "victim"), "precious");
    EXPECT_TRUE(fs::is_symlink(dir_ / "chip.state.tmp"));
    EXPECT_EQ(Names(dir_), (std::set<std::string>{"chip.state", "chip.state.tmp",
                                                  "chip.state.tmp" + pid, "victim"}));
}

}  // namespace
}  // namespace zorvan::sim
