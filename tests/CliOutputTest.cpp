// What the command-line updater shows: the progress on a terminal, JSON
// events, the device's text, the wire trace, and the ports it lists.

#include "AdapterAdvice.h"
#include "CliSupport.h"
#include "PortDiagnosis.h"
#include "PortIdentity.h"
#include "PortList.h"
#include "ScriptedPeer.h"
#include "UdevRule.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

// On a terminal the progress is one line redrawn in place, at most ten
// times a second (each new step may add one). The trace has a line a frame,
// long frames folded.
TEST(CliUpdater, OnATerminalOneLineIsRedrawnAndTheTraceHasEveryFrame)
{
    ScriptedPeer terminal; // takes what is written to the terminal
    std::FILE* out = std::fopen(terminal.Path().c_str(), "w");
    ASSERT_TRUE(out);
    const std::string path = ::testing::TempDir() + "kz-trace.txt";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunCli({"--trace", path}, "", {out}).exit, ExitSuccess);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fclose(out);
    std::this_thread::sleep_for(std::chrono::milliseconds(50)); // the terminal's far end catches up
    const std::vector<uint8_t> bytes = terminal.Received();
    const std::string shown(bytes.begin(), bytes.end());
    const auto redraws = std::count(shown.begin(), shown.end(), '\r');
    EXPECT_GT(redraws, 9);
    EXPECT_LE(redraws, 10 * seconds + 9 + 1) << seconds << " s";
    EXPECT_TRUE(Has(shown, "\r[4/4] Application firmware program  [##############################] 100%  0:00 left"))
        << shown;
    EXPECT_FALSE(Has(shown, "247/247")); // counts are for plain output

    std::ifstream trace(path);
    int pages = 0, blocks = 0, lines = 0;
    for (std::string line; std::getline(trace, line); ++lines) {
        if (Has(line, "-> mode 2  page 0x")) {
            ++pages;
            EXPECT_TRUE(Has(line, " 50 ") && Has(line, "..124 bytes..")) << line;
        }
        blocks += Has(line, "-> mode 2  write block 0x") ? 1 : 0;
    }
    EXPECT_EQ(pages, 49 + 247);
    EXPECT_EQ(blocks, 256);
    EXPECT_LT(lines, 2000); // one line a frame, not one a byte
}

TEST(CliUpdater, JsonEventsParseAndTellTheWholeRun)
{
    const CliRun run = RunCli({"--json", "--fault", "nak:clear"});
    EXPECT_EQ(run.exit, ExitStageFailed);
    nlohmann::json events = nlohmann::json::array(); // all but the progress, without the port's path
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);)
        if (auto event = nlohmann::json::parse(line); event["event"] != "progress") { // throws on what is not JSON
            event.erase("port");
            events.push_back(event);
        }
    EXPECT_EQ(events, nlohmann::json::parse(R"([
        {"event": "start", "firmware": "5.0.3", "device_version": "4.2.1"},
        {"event": "stage_begin", "stage": 1, "name": "Primary bootstrap"}, {"event": "stage_end", "stage": 1, "ok": true},
        {"event": "stage_begin", "stage": 2, "name": "Secondary bootstrap"}, {"event": "stage_end", "stage": 2, "ok": false},
        {"event": "result", "ok": false, "stage": 2, "message": "Could Not Load the Secondary Bootstrap Program.",
         "detail": "clear: device answered 0x01"}])"));
}

// Whatever text the device reports, a person's terminal and a script's
// JSON get printable ASCII: every other byte, and the backslash, as \xNN.
TEST(CliUpdater, DeviceTextIsShownPrintableAndAsValidJson)
{
    const struct {
        std::vector<uint8_t> text; // the five bytes of the version
        const char* shown;
    } cases[] = {
        {{'4', '"', '2', '.', '1'}, "4\"2.1"},
        {{'4', '\\', '2', '.', '1'}, "4\\x5C2.1"},
        {{'4', 0x07, '2', 0x0D, '1'}, "4\\x072\\x0D1"},
        {{0x1B, '[', '2', 'J', 'A'}, "\\x1B[2JA"},
        {{0xC3, '(', 0xFF, 0x80, 'A'}, "\\xC3(\\xFF\\x80A"},
    };
    for (const auto& c : cases) {
        for (const bool json : {false, true}) {
            ScriptedPeer peer;
            std::vector<uint8_t> reply = {0x02, 0x08, 0x20, 0x01, 0xF7};
            reply.insert(reply.begin() + 3, c.text.begin(), c.text.end());
            peer.AnswerAfter(3, reply);
            const CliRun run = RunCli({"--device", peer.Path(), "--version-only", json ? "--json" : "-q"});
            EXPECT_EQ(run.exit, ExitSuccess);
            const auto printable = [](char ch) { return ch == '\n' || (ch >= 0x20 && ch < 0x7F); };
            EXPECT_TRUE(std::all_of(run.out.begin(), run.out.end(), printable)) << run.out;
            if (json)
                EXPECT_EQ(nlohmann::json::parse(run.out)["device_version"], c.shown) << run.out;
            else
                EXPECT_TRUE(Has(run.out, std::string("Version In Your Kestrune:  ") + c.shown + "\n")) << run.out;
        }
    }
}

TEST(CliPorts, ListingShowsWhatAPersonNeedsToChoose)
{
    EXPECT_TRUE(Has(FormatPortList({}), "No serial ports found"));
    EXPECT_TRUE(Has(FormatPortList({}), "dmesg"));
    // path, stable name, driver, description, USB, ids, maker, product, serial number
    const PortInfo usb{"/dev/ttyUSB0",
                       "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0",
                       "ftdi_sio",
                       "",
                       true,
                       0x0403,
                       0x6001,
                       "FTDI",
                       "FT232R USB UART",
                       "A10K3XYZ"};
    const PortInfo uart{"/dev/ttyS2", "", "serial8250", "", false, 0, 0, "", "", ""};
    const std::string list = FormatPortList({usb, uart});
    for (const char* line :
         {"/dev/ttyUSB0\n", "    driver        ftdi_sio\n",
          "    USB           0403:6001, FTDI, FT232R USB UART, serial A10K3XYZ\n",
          "    choose with   --device /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0\n",
          "    by identity   --device usb:A10K3XYZ\n", "/dev/ttyS2\n", "    choose with   --port 3\n"})
        EXPECT_TRUE(Has(list, line)) << list;
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 9) << list; // no usb: name for the UART
}

PortInfo Usb(const char* path, uint16_t vid, uint16_t pid, const char* serial, const char* driver = "")
{
    return PortInfo{path, "", driver, "", true, vid, pid, "", "", serial};
}

// Two FTDI adapters told apart by serial number, a CH340 without one,
// PL2303 twins without one, and a built-in UART.
const std::vector<PortInfo> kBenchPorts = {
    Usb("/dev/ttyUSB0", 0x0403, 0x6001, "A10K3XYZ", "ftdi_sio"),
    Usb("/dev/ttyUSB1", 0x0403, 0x6001, "B20X", "ftdi_sio"),
    Usb("/dev/ttyUSB2", 0x1a86, 0x7523, "", "ch341"),
    Usb("/dev/ttyUSB3", 0x067b, 0x2303, "", "pl2303"),
    Usb("/dev/ttyUSB4", 0x067b, 0x2303, "", "pl2303"),
    PortInfo{"/dev/ttyS0", "", "serial8250", "", false, 0, 0, "", "", ""},
};

struct UsbNameCase {
    const char* name;
    const char* path;                // chosen; empty: none
    std::vector<std::string> errors; // parts of the message, where none is chosen
};

TEST(CliPorts, UsbNamesChooseOneAdapterOrListThoseThatWould)
{
    const std::string present = "  USB serial adapters present:\n";
    const std::string ftdi = "    /dev/ttyUSB0  0403:6001, serial A10K3XYZ  --device usb:A10K3XYZ\n";
    const std::string twins = "    /dev/ttyUSB3  067b:2303  (no usb: name: twins without serial numbers;";
    const UsbNameCase cases[] = {
        {"usb:A10K3XYZ", "/dev/ttyUSB0", {}},
        {"usb:a10k3xyz", "/dev/ttyUSB0", {}},
        {"usb:0403:6001:B20X", "/dev/ttyUSB1", {}},
        {"usb:0403:6001:A10K3XYZ", "/dev/ttyUSB0", {}},
        {"usb:1A86:7523", "/dev/ttyUSB2", {}},
        {"usb:NOSUCH123",
         "",
         {"usb:NOSUCH123: no USB serial adapter with serial number NOSUCH123 is present\n", present, ftdi,
          "    /dev/ttyUSB2  1a86:7523  --device usb:1a86:7523\n", twins}},
        {"usb:0403:6001", "", {"usb:0403:6001: 2 USB serial adapters have USB ids 0403:6001; name one", ftdi}},
        {"usb:067b:2303", "", {"2 USB serial adapters have USB ids 067b:2303", twins}},
        {"usb:1a86:7523:X1", "", {"no USB serial adapter with USB ids 1a86:7523 and serial number X1"}},
        {"usb:0403:6001:", "", {"'usb:0403:6001:' is no USB name"}},
    };
    for (const UsbNameCase& c : cases) {
        PortInfo chosen;
        std::string error;
        EXPECT_EQ(ResolveUsbName(c.name, kBenchPorts, chosen, error), *c.path != '\0') << c.name << ": " << error;
        if (*c.path) {
            EXPECT_EQ(chosen.path, c.path) << c.name;
        }
        for (const std::string& part : c.errors)
            EXPECT_TRUE(Has(error, part)) << c.name << ": " << part << " in\n" << error;
        EXPECT_FALSE(Has(error, "/dev/ttyS0")) << error; // built-in ports have no usb: name
    }
    PortInfo chosen;
    std::string error;
    EXPECT_FALSE(ResolveUsbName("usb:A10K3XYZ", {}, chosen, error));
    EXPECT_TRUE(Has(error, "No USB serial adapter is present")) << error;
    // One serial number on two kinds of adapter: the ids tell them apart.
    const std::vector<PortInfo> same = {Usb("/dev/ttyUSB0", 0x0403, 0x6001, "0001"),
                                        Usb("/dev/ttyUSB1", 0x10c4, 0xea60, "0001")};
    EXPECT_EQ(UsbNameOf(same[1], same), "usb:10c4:ea60");
    const std::vector<PortInfo> sameKind = {same[0], Usb("/dev/ttyUSB1", 0x0403, 0x6001, "0001"),
                                            Usb("/dev/ttyUSB2", 0x10c4, 0xea60, "0001")};
    EXPECT_EQ(UsbNameOf(sameKind[2], sameKind), "usb:10c4:ea60");
    EXPECT_EQ(UsbNameOf(sameKind[0], sameKind), ""); // twins down to the serial number
}

TEST(CliPorts, AdapterAdviceNamesTheCostAndTheCause)
{
    PortInfo ftdi = Usb("COM7", 0x0403, 0x6001, "A10K3XYZ", "FTDIBUS");
    ftdi.latencyTimerMs = 16;
    const std::string advice = LatencyAdvice(ftdi);
    EXPECT_TRUE(Has(advice, "COM7: the FTDI adapter's latency timer is 16 ms, which makes the update about 6 s longer "
                            "(measured: 29.4 s at 16 ms, 23.4 s at 1 ms)"))
        << advice;
    EXPECT_TRUE(Has(advice, "Device Manager > Port Settings > Advanced > Latency Timer.\n")) << advice;
    EXPECT_EQ(std::count(advice.begin(), advice.end(), '\n'), 1);
    ftdi.latencyTimerMs = 32;
    EXPECT_TRUE(Has(LatencyAdvice(ftdi), "about 12 s longer"));
    for (const uint32_t low : {0u, 1u, 2u}) {
        ftdi.latencyTimerMs = low;
        EXPECT_EQ(LatencyAdvice(ftdi), "") << low;
    }
    PortInfo other = Usb("COM8", 0x10c4, 0xea60, "");
    other.latencyTimerMs = 16;
    EXPECT_EQ(LatencyAdvice(other), "");

    EXPECT_TRUE(Has(ParityHint("ch341"), "the adapter or its driver (ch341) may not support parity"));
    EXPECT_TRUE(Has(ParityHint(""), "the adapter or its driver may not support parity"));
    const std::vector<uint8_t> frame = {0x02, 0x08, 0x20, '4', '.', '2', '.', '1', 0x01, 0xF7};
    EXPECT_FALSE(IsGarbledAnswer(frame));
    EXPECT_FALSE(IsGarbledAnswer({}));
    EXPECT_TRUE(IsGarbledAnswer({0x02, 0x02, 0x15, 0x01})); // the device's own line-error frame
    EXPECT_TRUE(IsGarbledAnswer({0x82, 0x08, 0x20, '4', '.', '2', '.', '1', 0x01, 0xF7}));
}

// The rule names the adapter by ids and serial number; a serial number's
// odd characters neither break the rule nor widen its match beyond one
// character each. Where udev has "udevadm verify" (newer than Debian 12's),
// udev itself checks the rule.
TEST(CliPorts, UdevRuleNamesTheAdapterAndKeepsModemManagerOff)
{
    const std::string rule = UdevRuleFor(kBenchPorts[0], "/dev/ttyUSB0");
    for (const char* part :
         {"# Install: kestrune-update --udev-rule /dev/ttyUSB0 | sudo tee /etc/udev/rules.d/70-kestrune-A10K3XYZ.rules "
          "&& sudo udevadm control --reload && sudo udevadm trigger",
          "\nSUBSYSTEM==\"tty\", ATTRS{idVendor}==\"0403\", ATTRS{idProduct}==\"6001\", ATTRS{serial}==\"A10K3XYZ\", "
          "SYMLINK+=\"kestrune-A10K3XYZ\", GROUP=\"dialout\", MODE=\"0660\", ENV{ID_MM_DEVICE_IGNORE}=\"1\"\n"})
        EXPECT_TRUE(Has(rule, part)) << rule;
    const std::string odd = UdevRuleFor(Usb("/dev/ttyUSB9", 0x1a86, 0x7523, "A1 *\"x"), "usb:A1 *\"x");
    EXPECT_TRUE(Has(odd, "ATTRS{serial}==\"A1???x\", SYMLINK+=\"kestrune-A1___x\"")) << odd;
    EXPECT_TRUE(Has(odd, "--udev-rule 'usb:A1 *\"x' | sudo tee /etc/udev/rules.d/70-kestrune-A1___x.rules")) << odd;
    const std::string noSerial = UdevRuleFor(kBenchPorts[2], "/dev/ttyUSB2");
    EXPECT_TRUE(Has(noSerial, "SYMLINK+=\"kestrune-1a86-7523\"")) << noSerial;
    EXPECT_FALSE(Has(noSerial, "ATTRS{serial}")) << noSerial;

    // A port ModemManager holds: the message points to the rule.
    PortOpenFailure held{PortOpenFailure::Cause::Held, 0, {PortHolder{812, "ModemManager"}}, ""};
    const std::string refusal = DescribeOpenFailure("/dev/ttyUSB0", held);
    EXPECT_TRUE(Has(refusal, "'kestrune-update --udev-rule /dev/ttyUSB0' prints a udev rule")) << refusal;

    std::string made, error;
    EXPECT_FALSE(MakeUdevRule("/dev/ttyS0", kBenchPorts, made, error));
    EXPECT_TRUE(Has(error, "/dev/ttyS0: not a USB serial adapter")) << error;
    EXPECT_FALSE(MakeUdevRule("/dev/ttyKZ9", kBenchPorts, made, error));
    EXPECT_TRUE(Has(error, "/dev/ttyKZ9: no serial port of that name is present")) << error;
    EXPECT_TRUE(MakeUdevRule("usb:B20X", kBenchPorts, made, error)) << error;
    EXPECT_TRUE(Has(made, "SYMLINK+=\"kestrune-B20X\"")) << made;

    if (std::system("udevadm verify --help >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "this udev has no 'udevadm verify'";
    for (const std::string& each : {rule, odd, noSerial}) {
        const std::string path = ::testing::TempDir() + "70-kestrune-test.rules";
        std::ofstream(path) << each;
        EXPECT_EQ(std::system(("udevadm verify " + path + " >/dev/null").c_str()), 0) << each;
    }
}

} // namespace
