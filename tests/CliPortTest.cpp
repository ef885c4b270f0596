// The command-line updater and real ports: why one will not open, which
// ports there are, and updates that end early (a signal, a pulled adapter).

#include "CliSupport.h"
#include "PortList.h"
#include "ScriptedPeer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// A child process that holds a device open with a plain open(), as a
// terminal program would.
struct Holder {
    explicit Holder(const std::string& path)
    {
        pid = fork();
        if (pid == 0) {
            closefrom(3); // none of this process's own ends of the terminal
            open(path.c_str(), O_RDWR | O_NOCTTY);
            pause();
            _exit(0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ~Holder()
    {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    pid_t pid;
};

TEST(CliPorts, APortThatWillNotOpenIsExplained)
{
    ScriptedPeer peer;
    const std::string file = ::testing::TempDir() + "kz-not-a-port";
    std::ofstream(file) << "text";
    Holder holder(peer.Path());
    struct Case {
        std::string device;
        std::vector<std::string> says;
    } cases[] = {
        {"/nonexistent/ttyKZ", {"/nonexistent/ttyKZ: No such file or directory", "--list-ports"}},
        {file, {file + ": not a terminal device (a file)"}},
        {"/tmp", {"/tmp: not a terminal device (a folder)"}},
        {peer.Path(), {peer.Path() + ": in use by another program:", "(process " + std::to_string(holder.pid) + ")"}},
    };
    for (const Case& c : cases) {
        const CliRun run = RunCli({"--device", c.device, "--version-only"});
        EXPECT_EQ(run.exit, ExitPortUnavailable) << c.device;
        EXPECT_TRUE(run.out.empty()) << run.out;
        for (const std::string& part : c.says)
            EXPECT_TRUE(Has(run.err, part)) << run.err;
    }
}

TEST(CliPorts, ListingShowsWhatAPersonNeedsToChoose)
{
    EXPECT_TRUE(Has(FormatPortList({}), "No serial ports found"));
    EXPECT_TRUE(Has(FormatPortList({}), "dmesg"));
    // path, stable name, driver, description, USB, ids, maker, product, serial number
    const PortInfo usb{"/dev/ttyUSB0", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0", "ftdi_sio", "",
                       true, 0x0403, 0x6001, "FTDI", "FT232R USB UART", "A10K3XYZ"};
    const PortInfo uart{"/dev/ttyS2", "", "serial8250", "", false, 0, 0, "", "", ""};
    const std::string list = FormatPortList({usb, uart});
    for (const char* line : {"/dev/ttyUSB0\n", "    driver        ftdi_sio\n",
                             "    USB           0403:6001, FTDI, FT232R USB UART, serial A10K3XYZ\n",
                             "    choose with   --device /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0\n",
                             "/dev/ttyS2\n", "    choose with   --port 3\n"})
        EXPECT_TRUE(Has(list, line)) << list;
}

struct EarlyEnd {
    const char* why;
    std::vector<std::string> args;
    int signal;   // sent signalMs after the start, 0 for none
    int signalMs;
    int exit;
    const char* says;
};

// An update ends within half a second of a signal, or of the adapter going
// away, with the stage, where it stopped, and what to do next.
TEST(CliUpdater, EndsPromptlyWhenStoppedOrUnplugged)
{
    const EarlyEnd cases[] = {
        {"Ctrl-C", {"--paced"}, SIGINT, 3500, 130, "Interrupted during stage 2 (Secondary bootstrap)"},
        {"SIGTERM", {"--paced", "-q"}, SIGTERM, 3500, 143, "Terminated during stage 2"},
        {"Ctrl-C in a fixed pause", {"-q"}, SIGINT, 3700, 130,
         "interrupted during the 2 s pause after erasing bank 2"},
        {"adapter pulled", {"--fault", "unplug-adapter:write:100"}, 0, 0, ExitStageFailed,
         "write block 0x6C60: the serial adapter was disconnected"},
        {"adapter pulled before a write", {"--fault", "unplug-adapter:jump"}, 0, 0, ExitStageFailed,
         "ping: the write failed: the serial adapter was disconnected"},
    };
    for (const EarlyEnd& c : cases) {
        Clock::time_point signalled{};
        std::thread sender;
        if (c.signal)
            sender = std::thread([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(c.signalMs));
                signalled = Clock::now();
                kill(getpid(), c.signal);
            });
        const CliRun run = RunCli(c.args);
        const auto ended = Clock::now();
        if (sender.joinable())
            sender.join();
        EXPECT_EQ(run.exit, c.exit) << c.why << run.err;
        EXPECT_TRUE(Has(run.err, c.says)) << c.why << ": " << run.err;
        if (c.signal) {
            EXPECT_LT(ended - signalled, std::chrono::milliseconds(500)) << c.why;
            EXPECT_TRUE(Has(run.err, "bootstrap mode again")) << run.err;
            EXPECT_FALSE(Has(run.err, "no answer") || Has(run.err, "disconnected")) << run.err;
        }
    }
}

TEST(CliUpdater, InterruptAtThePromptSendsNothing)
{
    ScriptedPeer peer;
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::FILE* in = fdopen(fds[0], "r"); // nobody answers
    std::thread sender([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        kill(getpid(), SIGINT);
    });
    const CliRun run = RunCli({"--device", peer.Path()}, "", {nullptr, in});
    sender.join();
    std::fclose(in);
    close(fds[1]);
    EXPECT_EQ(run.exit, 130);
    EXPECT_TRUE(Has(run.err, "nothing was sent for it")) << run.err;
    EXPECT_EQ(peer.Received(), (std::vector<uint8_t>{0x02, 0x01, 0x20}));
}

} // namespace
