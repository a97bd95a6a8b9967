// ZorvanQuillon on a desktop (Xvfb under scripts/test) against the virtual chip: what the
// window shows in each layout, and a screenshot of it for people to look at.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <sstream>
#include <thread>

#include "core/platform/Text.h"
#include "sim/demo/DemoAssets.h"
#include "sim/state/StateFile.h"

// After gtest: Xlib's macros (None, True, Status) would clash with it.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

extern char** environ;

namespace zorvan::gui::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

struct Shown {
    int x = 0, y = 0, w = 0, h = 0;
    bool enabled = false;
    std::string text;
};

struct Snapshot {
    int width = 0, height = 0;
    std::map<int, Shown> controls;
};

bool DisplayAvailable() {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || *display != ':') {
        return false;
    }
    const std::string number =
        std::string(display + 1).substr(0, std::string(display + 1).find('.'));
    return fs::exists("/tmp/.X11-unix/X" + number);
}

Snapshot Parse(const std::string& text) {
    Snapshot s;
    std::istringstream in(text);
    std::string word;
    in >> word >> s.width >> s.height;
    int id = 0;
    while (in >> id) {
        Shown c;
        std::string state;
        in >> c.x >> c.y >> c.w >> c.h >> state;
        c.enabled = state == "enabled";
        std::getline(in, c.text);
        if (!c.text.empty() && c.text[0] == ' ')
            c.text.erase(0, 1);
        s.controls[id] = c;
    }
    return s;
}

class QuillonOnDesktop : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!DisplayAvailable()) {
            GTEST_SKIP() << "no X display (scripts/test runs this under xvfb-run)";
        }
        std::random_device random;
        folder_ = fs::temp_directory_path() / ("quillon-e2e-" + std::to_string(random()));
        fs::create_directories(folder_);
        std::vector<std::wstring> written;
        std::wstring error;
        ASSERT_TRUE(sim::WriteDemoAssets(FromUtf8(folder_.string()), written, error));
        fs::copy_file(fs::path(ZORVAN_BIN_DIR) / "ZorvanQuillon", folder_ / "ZorvanQuillon");
    }
    void TearDown() override {
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    void PrependSettings(const std::string& lines) {
        std::ifstream in(folder_ / "Config.ini", std::ios::binary);
        std::stringstream ini;
        ini << in.rdbuf();
        std::string text = ini.str();
        text.insert(text.find("\r\n") + 2, lines);
        std::ofstream(folder_ / "Config.ini", std::ios::binary) << text;
    }

    // Starts the program in its folder with the snapshot file set and no other ZORVAN_
    // variable of ours; returns posix_spawn's result.
    int Start(const fs::path& snap, pid_t& pid) const {
        const std::string program = (folder_ / "ZorvanQuillon").string();
        std::vector<std::string> env{"ZORVAN_QUILLON_SNAPSHOT=" + snap.string()};
        for (char** e = environ; *e != nullptr; ++e) {
            if (std::string(*e).rfind("ZORVAN_", 0) != 0)
                env.emplace_back(*e);
        }
        std::vector<char*> envp;
        for (std::string& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        std::string argv0 = program;
        char* argv[] = {argv0.data(), nullptr};
        const fs::path previous = fs::current_path();
        fs::current_path(folder_);
        const int spawned = posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data());
        fs::current_path(previous);
        return spawned;
    }

    // Starts the program, waits for it to describe its window, saves a screenshot, ends it.
    Snapshot RunAndCapture(const std::string& layout) {
        const fs::path snap = folder_ / "snapshot.txt";
        pid_t pid = 0;
        const int spawned = Start(snap, pid);
        EXPECT_EQ(spawned, 0);
        if (spawned != 0)
            return {};
        // Bounded wait for the window to appear (a slow machine is no failure of the program).
        for (int i = 0; i < 600 && !fs::exists(snap); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        const fs::path shots = fs::path(ZORVAN_BIN_DIR).parent_path() / "screenshots";
        fs::create_directories(shots);
        const fs::path png = shots / ("ZorvanQuillon-" + layout + ".png");
        const std::string command = "import -window root '" + png.string() + "' 2>/dev/null";
        const bool captured = fs::exists(snap) && std::system(command.c_str()) == 0;
        kill(pid, SIGTERM);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(fs::exists(snap)) << "the window never appeared";
        EXPECT_TRUE(captured) << png;
        std::ifstream in(snap, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return Parse(text.str());
    }

    // Nothing overlaps and everything lies inside the window (the group box holds its rows).
    static void ExpectTidy(const Snapshot& s) {
        ASSERT_FALSE(s.controls.empty());
        for (auto i = s.controls.begin(); i != s.controls.end(); ++i) {
            const Shown& a = i->second;
            EXPECT_GE(a.x, 0) << i->first;
            EXPECT_GE(a.y, 0) << i->first;
            EXPECT_LE(a.x + a.w, s.width) << i->first << " is cut off";
            EXPECT_LE(a.y + a.h, s.height) << i->first << " is cut off";
            if (i->first == 1002)
                continue;
            for (auto j = std::next(i); j != s.controls.end(); ++j) {
                const Shown& b = j->second;
                if (j->first == 1002)
                    continue;
                const bool overlap =
                    a.x < b.x + b.w && b.x < a.x + a.w && a.y < b.y + b.h && b.y < a.y + a.h;
                EXPECT_FALSE(overlap) << i->first << " overlaps " << j->first;
            }
        }
    }

    // The virtual chip as the ended program left it, and the image it was to be given.
    std::optional<sim::ChipState> ChipAfterwards() const {
        std::wstring error;
        std::optional<sim::ChipState> chip =
            sim::LoadState(FromUtf8((folder_ / "virtual-chip.state").string()), error);
        EXPECT_TRUE(chip.has_value()) << ToUtf8(error);
        return chip;
    }
    std::vector<uint8_t> Image() const;

    fs::path folder_;
};

// A key pressed on the X server as a user would, over the middle of the screen, where the
// dialog and its message boxes are centred.
bool PressKey(KeySym key) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return false;
    }
    const int screen = XDefaultScreen(display);
    XWarpPointer(display, 0, XDefaultRootWindow(display), 0, 0, 0, 0,
                 XDisplayWidth(display, screen) / 2, XDisplayHeight(display, screen) / 2);
    const KeyCode code = XKeysymToKeycode(display, key);
    XTestFakeKeyEvent(display, code, 1, 0);
    XTestFakeKeyEvent(display, code, 0, 0);
    XFlush(display);
    XCloseDisplay(display);
    return true;
}

// A click of the left mouse button at a point of the screen, as a user's.
bool ClickAt(int x, int y) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return false;
    }
    XWarpPointer(display, 0, XDefaultRootWindow(display), 0, 0, 0, 0, x, y);
    XTestFakeButtonEvent(display, 1, 1, 0);
    XTestFakeButtonEvent(display, 1, 0, 0);
    XFlush(display);
    XCloseDisplay(display);
    return true;
}

// The share of the pixels of a screen rectangle that have the colour (0xRRGGBB).
double ShareOfColour(int x, int y, int w, int h, unsigned long rgb) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr || w <= 0 || h <= 0) {
        if (display != nullptr)
            XCloseDisplay(display);
        return 0;
    }
    XImage* image = XGetImage(display, XDefaultRootWindow(display), x, y, static_cast<unsigned>(w),
                              static_cast<unsigned>(h), ~0UL, ZPixmap);
    long matching = 0;
    if (image != nullptr) {
        for (int row = 0; row < h; ++row) {
            for (int column = 0; column < w; ++column) {
                matching += (image->f.get_pixel(image, column, row) & 0xFFFFFFul) == rgb ? 1 : 0;
            }
        }
        image->f.destroy_image(image);
    }
    XCloseDisplay(display);
    return static_cast<double>(matching) / (static_cast<double>(w) * h);
}

// The screen position of the client area from a window description.
std::pair<int, int> Origin(const std::string& snapshot) {
    std::pair<int, int> origin{0, 0};
    const size_t at = snapshot.find("\norigin ");
    if (at != std::string::npos) {
        std::istringstream(snapshot.substr(at + 8)) >> origin.first >> origin.second;
    }
    return origin;
}

std::string ReadText(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<uint8_t> QuillonOnDesktop::Image() const {
    const std::string image = ReadText(folder_ / "firmware.bin");
    return {image.begin(), image.end()};
}

// The program's window description once it holds `part` (bounded wait: a slow machine is
// no failure of the program); empty when it never does.
std::string WaitForSnapshot(const fs::path& snap, const std::string& part) {
    for (int i = 0; i < 1800; ++i) {
        const std::string text = ReadText(snap);
        if (text.find(part) != std::string::npos) {
            return text;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return {};
}

// A screenshot of the whole screen, saved beside the other build outputs for people to
// look at.
void Capture(const std::string& name) {
    const fs::path shots = fs::path(ZORVAN_BIN_DIR).parent_path() / "screenshots";
    fs::create_directories(shots);
    const fs::path png = shots / ("ZorvanQuillon-" + name + ".png");
    EXPECT_EQ(std::system(("import -window root '" + png.string() + "' 2>/dev/null").c_str()), 0)
        << png;
}

// Waits (bounded) for the program to end after Escape; ends it otherwise.
// Waits for the program to end after Escape; it must end by itself and cleanly (a
// sanitizer report in the program ends it otherwise).
void ExpectEnded(pid_t pid) {
    int status = 0;
    pid_t ended = 0;
    for (int i = 0; i < 300 && (ended = waitpid(pid, &status, WNOHANG)) == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    if (ended == 0) {
        kill(pid, SIGTERM);
        waitpid(pid, &status, 0);
        ADD_FAILURE() << "Escape did not end the program";
        return;
    }
    ASSERT_EQ(ended, pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the program ended abnormally (wait status " << status << ")";
}

// The highest position of the progress bar and how often it changed.
std::pair<int, int> Progress(const std::string& snapshot) {
    std::pair<int, int> progress{0, 0};
    const size_t at = snapshot.find("\nprogress ");
    if (at != std::string::npos) {
        std::istringstream(snapshot.substr(at + 10)) >> progress.first >> progress.second;
    }
    return progress;
}

// The one-step layout as an operator uses it: Enter presses "Update"; the virtual chip goes
// from 1.05 to 1.06 with the progress bar moving, the result box says so, Enter closes it
// and Escape ends the program, which leaves the chip's flash equal to the image.
TEST_F(QuillonOnDesktop, OneStepUpdateByEnter) {
    const fs::path snap = folder_ / "snapshot.txt";
    pid_t pid = 0;
    ASSERT_EQ(Start(snap, pid), 0);

    const bool shown = !WaitForSnapshot(snap, "1031 ").empty();
    EXPECT_TRUE(shown) << "the window never appeared";
    std::string finished;
    if (shown && PressKey(XK_Return)) {
        finished = WaitForSnapshot(snap, "message ");
    }
    Capture("one-step-updated");
    if (!finished.empty()) {
        PressKey(XK_Return);  // closes the result box
        WaitForSnapshot(snap, "progress ");
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        Capture("one-step-finished");
        PressKey(XK_Escape);
    }
    ExpectEnded(pid);

    ASSERT_FALSE(finished.empty()) << "the update never showed its result";
    const Snapshot s = Parse(finished);
    EXPECT_EQ(s.controls.at(1054).text, "ISP completed!");
    EXPECT_FALSE(s.controls.at(1031).enabled);
    EXPECT_THAT(s.controls.at(1023).text, HasSubstr("Flash writing firmware... done!"));
    EXPECT_THAT(finished, HasSubstr("\nmessage ISP completed!"));
    const auto [highest, changes] = Progress(finished);
    EXPECT_EQ(highest, 4096);
    EXPECT_GT(changes, 10) << "the progress bar did not move";
    EXPECT_THAT(ReadText(folder_ / "ZorvanQuillon.log"), HasSubstr("Flash writing firmware... Done"));
    const std::optional<sim::ChipState> chip = ChipAfterwards();
    ASSERT_TRUE(chip.has_value());
    EXPECT_TRUE(chip->flash == Image());
}

// Secure ISP in the normal layout: a click on the button, Yes to the question; the virtual
// chip's ESM is loaded, the signed driver started and the chip goes from 1.05 to 1.06 with
// the progress bar moving; the output box turns the passed colour and the result box says
// so. The flash then equals the image.
TEST_F(QuillonOnDesktop, SecureIspByClickAndYes) {
    PrependSettings("OneStepProgramming=0\r\nSecureISP=1\r\n");
    const fs::path snap = folder_ / "snapshot.txt";
    pid_t pid = 0;
    ASSERT_EQ(Start(snap, pid), 0);

    const std::string ready = WaitForSnapshot(snap, "1032 ");
    EXPECT_FALSE(ready.empty()) << "the window never appeared";
    std::string question, finished, closed;
    double passedShare = 0;
    if (!ready.empty()) {
        const Snapshot before = Parse(ready);
        const Shown& button = before.controls.at(1032);
        EXPECT_EQ(button.text, "Secure ISP");
        EXPECT_TRUE(button.enabled);
        const auto [x, y] = Origin(ready);
        if (ClickAt(x + button.x + button.w / 2, y + button.y + button.h / 2)) {
            question = WaitForSnapshot(snap, "\nquestion ");
        }
    }
    if (!question.empty() && PressKey(XK_Return)) {  // Yes, the default answer
        finished = WaitForSnapshot(snap, "\nmessage ");
    }
    if (!finished.empty()) {
        Capture("secure-isp-updated");
        PressKey(XK_Return);  // closes the result box
        for (int i = 0; i < 100 && closed.empty(); ++i) {
            const std::string text = ReadText(snap);
            if (text.find("\nmessage ") == std::string::npos && text.find("1023 ") != std::string::npos)
                closed = text;
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    if (!closed.empty()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        const Shown output = Parse(closed).controls.at(1023);
        const auto [x, y] = Origin(closed);
        passedShare = ShareOfColour(x + output.x, y + output.y, output.w, output.h, 0xA0F078);
        Capture("secure-isp-finished");
    }
    PressKey(XK_Escape);
    ExpectEnded(pid);

    ASSERT_FALSE(question.empty()) << "the click on Secure ISP asked nothing";
    EXPECT_THAT(question, HasSubstr("\nquestion Do you want to update it with FW from file?"));
    ASSERT_FALSE(finished.empty()) << "the secure update never showed its result";
    EXPECT_THAT(finished, HasSubstr("\nmessage Secure ISP successful! (v1.06)"));
    const Snapshot s = Parse(finished);
    EXPECT_THAT(s.controls.at(1023).text, HasSubstr("Loading ESM binary... done!"));
    EXPECT_THAT(s.controls.at(1023).text, HasSubstr("Running ISP driver... done!"));
    EXPECT_THAT(s.controls.at(1023).text, HasSubstr("Flash writing firmware... done!"));
    EXPECT_THAT(s.controls.at(1023).text,
                HasSubstr("Flash FW version comparison successful!  (v1.06)"));
    const auto [highest, changes] = Progress(finished);
    EXPECT_EQ(highest, 4096);
    EXPECT_GT(changes, 10) << "the progress bar did not move";
    EXPECT_GT(passedShare, 0.5) << "the output box does not show the passed colour";
    const std::string log = ReadText(folder_ / "ZorvanQuillon.log");
    EXPECT_THAT(log, HasSubstr("Check ESM status... Not started!\r\n"));
    EXPECT_THAT(log, HasSubstr("Secure ISP successful! (v1.06)\r\n"));
    const std::optional<sim::ChipState> chip = ChipAfterwards();
    ASSERT_TRUE(chip.has_value());
    EXPECT_TRUE(chip->flash == Image());
    EXPECT_TRUE(chip->securityFirmwareRunning);
}

TEST_F(QuillonOnDesktop, OneStepLayoutShowsBothVersions) {
    const Snapshot s = RunAndCapture("one-step");
    ExpectTidy(s);
    ASSERT_TRUE(s.controls.count(1054));
    EXPECT_EQ(s.controls.at(1054).text, "Current firmware version: Vexa1100 v1.05");
    EXPECT_EQ(s.controls.at(1055).text, "New Firmware Version: v1.06");
    EXPECT_EQ(s.controls.at(1031).text, "Update");
    EXPECT_TRUE(s.controls.at(1031).enabled);
    EXPECT_FALSE(s.controls.count(1002));
}

TEST_F(QuillonOnDesktop, NormalLayoutShowsTheFilesAndTheAdapter) {
    PrependSettings("OneStepProgramming=0\r\n");
    const Snapshot s = RunAndCapture("normal");
    ExpectTidy(s);
    ASSERT_TRUE(s.controls.count(1001));
    EXPECT_THAT(s.controls.at(1001).text, ::testing::StartsWith("NVIDIA: "));
    EXPECT_THAT(s.controls.at(1011).text, HasSubstr("firmware.bin"));
    EXPECT_EQ(s.controls.at(1031).text, "Start");
    EXPECT_TRUE(s.controls.at(1031).enabled);
    EXPECT_EQ(s.controls.at(1035).text, "Verify CMDB");
    EXPECT_FALSE(s.controls.count(1032));  // compact: Start took its place
}

}  // namespace
}  // namespace zorvan::gui::testing
