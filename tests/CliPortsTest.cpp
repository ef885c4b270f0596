// The ports: how they are listed, named by what the adapter is, found by
// --port auto, advised on, and given a udev rule.

#include "AdapterAdvice.h"
#include "AutoPort.h"
#include "CliSupport.h"
#include "FakeSerialPort.h"
#include "PortDiagnosis.h"
#include "PortIdentity.h"
#include "PortList.h"
#include "ScriptedPeer.h"
#include "SimulatedKestrune.h"
#include "UdevRule.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

namespace {

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
    // UARTs whose names only begin like /dev/ttyS: no COM number stands for them.
    const PortInfo other{"/dev/ttySC0", "", "sc16is7xx", "", false, 0, 0, "", "", ""};
    const PortInfo stm{"/dev/ttySTM0", "", "stm32-usart", "", false, 0, 0, "", "", ""};
    const PortInfo high{"/dev/ttyS255", "", "serial8250", "", false, 0, 0, "", "", ""};
    const std::string list = FormatPortList({usb, uart, other, stm, high});
    for (const char* line :
         {"/dev/ttyUSB0\n", "    driver        ftdi_sio\n",
          "    USB           0403:6001, FTDI, FT232R USB UART, serial A10K3XYZ\n",
          "    choose with   --device /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0\n",
          "    by identity   --device usb:A10K3XYZ\n", "/dev/ttyS2\n", "    choose with   --port 3\n",
          "/dev/ttySC0\n    driver        sc16is7xx\n    choose with   --device /dev/ttySC0\n",
          "/dev/ttySTM0\n    driver        stm32-usart\n    choose with   --device /dev/ttySTM0\n",
          "/dev/ttyS255\n    driver        serial8250\n    choose with   --device /dev/ttyS255\n"})
        EXPECT_TRUE(Has(list, line)) << list;
    EXPECT_EQ(std::count(list.begin(), list.end(), '\n'), 18) << list; // no usb: name for the UARTs
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

struct RefusalCase {
    const char* name;
    LineSettings asked;
    PortFailure::Kind kind;
    const char* words; // the system's or the server's
    const char* driver;
    std::string said;
};

// The advice under a refused parity: which ("" or " (DRIVER)").
std::string NoParityLine(const std::string& which)
{
    return "\n  The adapter or its driver" + which +
           " may not support parity (some CH340 and PL2303 drivers do not). The update itself runs without parity.";
}

// A line setting the port would not take is said with its subject, the
// same on Windows and POSIX whatever words the system has; the advice on
// parity where the parity was refused. A server's words name it already.
TEST(CliPorts, ARefusedLineSettingNamesThePortAndWhatWasAsked)
{
    using Kind = PortFailure::Kind;
    const LineSettings run{38400, 8, 1, 0}, bootstrap{9600, 8, 0, 0}, loader{38400, 8, 0, 0};
    const RefusalCase cases[] = {
        {"COM5", run, Kind::SettingRefused, "Invalid parameter.", "",
         "COM5 refused 38400 bit/s, 8 data bits, odd parity: Invalid parameter." + NoParityLine("")},
        {"COM12", bootstrap, Kind::SettingRefused, "Invalid function.", "",
         "COM12 refused 9600 bit/s, 8 data bits, no parity: Invalid function."},
        {"/dev/ttyUSB0", loader, Kind::SettingRefused, "Invalid argument", "ch341",
         "/dev/ttyUSB0 refused 38400 bit/s, 8 data bits, no parity: Invalid argument"},
        {"/dev/ttyUSB0", run, Kind::SettingRefused, "the driver kept another speed or character size", "pl2303",
         "/dev/ttyUSB0 refused 38400 bit/s, 8 data bits, odd parity: the driver kept another speed or character size" +
             NoParityLine(" (pl2303)")},
        {"COM5", loader, Kind::Lost, "the serial adapter was disconnected", "",
         "COM5: the serial adapter was disconnected"},
        {"rfc2217://bench-pi:4001", run, Kind::SettingRefused,
         "bench-pi:4001 set the parity to NONE where ODD was asked", "",
         "bench-pi:4001 set the parity to NONE where ODD was asked"},
    };
    for (const RefusalCase& c : cases)
        EXPECT_EQ(DescribeSettingRefusal(c.name, c.asked, {c.kind, 0, c.words}, c.driver), c.said);

    // Through a channel: a port that refused with the system's reason, and
    // a pseudo-terminal, which takes every line mode (it has no parity to
    // refuse; a real adapter's driver may).
    FakePortState refusing;
    refusing.bSettingsRefused = true;
    refusing.systemError = EINVAL;
    refusing.failureKind = Kind::SettingRefused;
    CSerialChannel channel;
    ASSERT_TRUE(channel.Open(OpenFakePort(refusing)));
    EXPECT_FALSE(channel.SetLineMode(kBootstrapLine));
    EXPECT_EQ(DescribeLineSettingFailure("/dev/ttyKZ", channel),
              "/dev/ttyKZ refused 9600 bit/s, 8 data bits, no parity: " + std::string(std::strerror(EINVAL)));
    ScriptedPeer peer;
    ASSERT_TRUE(channel.Open(peer.Path()));
    for (const int16_t mode : {kRunLine, kBootstrapLine, kLoaderLine}) {
        EXPECT_TRUE(channel.SetLineMode(mode)) << mode;
        EXPECT_EQ(DescribeLineSettingFailure(peer.Path(), channel), "") << mode;
    }
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
    PortOpenFailure held;
    held.cause = PortOpenFailure::Cause::Held;
    held.holders = {PortHolder{812, "ModemManager"}};
    const std::string refusal = DescribeOpenFailure("/dev/ttyUSB0", held);
    EXPECT_TRUE(Has(refusal, "'kestrune-update --udev-rule /dev/ttyUSB0' prints a udev rule")) << refusal;
    EXPECT_NE(refusal.back(), '\n') << "the report ends the text";

    // A network port's failure: the server, its words, and what ser2net
    // needs where the server may be missing; nothing more for an interrupt.
    using Network = PortOpenFailure::Network;
    const struct {
        Network network;
        std::string text;
        std::vector<std::string> parts; // "-" first: none of the rest appears
    } networkCases[] = {
        {Network::BadName, "not a network port name", {"rfc2217://x: not a network port name\n  Write it rfc2217://"}},
        {Network::NoConnection,
         "connection refused",
         {"bench-pi:4001: connection refused\n  Is ser2net running", "accepter: telnet(rfc2217),tcp,4001)"}},
        {Network::Closed,
         "the server closed the connection: Port already in use",
         {"bench-pi:4001: the server closed the connection: Port already in use\n  ser2net closes",
          "another client holds its port"}},
        {Network::NotRfc2217, "does not speak RFC 2217", {"bench-pi:4001: does not speak", "Is ser2net running"}},
        {Network::Lost, "connection to bench-pi:4001 closed", {"connection to bench-pi:4001 closed\n  Is ser2net"}},
        {Network::Interrupted, "interrupted while opening", {"bench-pi:4001: interrupted while opening"}},
        {Network::Interrupted, "interrupted while opening", {"-", "ser2net", "\n"}},
    };
    for (const auto& c : networkCases) {
        PortOpenFailure failure;
        failure.cause = PortOpenFailure::Cause::Network;
        failure.network = c.network;
        failure.text = c.text;
        failure.endpoint = "bench-pi:4001";
        const std::string said = DescribeOpenFailure("rfc2217://x", failure);
        const bool absent = c.parts.front() == "-";
        for (size_t i = absent ? 1 : 0; i < c.parts.size(); ++i)
            EXPECT_EQ(Has(said, c.parts[i]), !absent) << c.parts[i] << " in\n" << said;
        EXPECT_NE(said.back(), '\n') << said;
    }

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

// What --port auto's probe meets on a port: a simulated Kestrune in its
// application firmware, a port that stays silent, one whose answer comes
// garbled (the device's own line-error frame, as when the adapter sends no
// parity), one another program holds, and a built-in port with a Kestrune.
// A pseudo-terminal carries no parity: a real adapter without it garbles
// the answer itself.
enum class Peer { Kestrune, Silent, Garbled, Held, BuiltIn };

struct AutoCase {
    const char* what;
    std::vector<Peer> peers;
    int chosen; // index into peers; -1: none
    std::vector<std::string> text;
};

struct AutoPeers {
    std::vector<std::unique_ptr<SimulatedKestrune>> sims;
    std::vector<std::unique_ptr<ScriptedPeer>> scripted;
    std::vector<std::unique_ptr<Holder>> holders;
    std::vector<std::pair<ScriptedPeer*, bool>> watched; // and whether it is asked
    std::vector<PortInfo> ports;

    void Add(Peer peer)
    {
        const std::string serial = "SIM" + std::to_string(ports.size() + 1);
        std::string path;
        if (peer == Peer::Kestrune) {
            sims.push_back(std::make_unique<SimulatedKestrune>());
            EXPECT_TRUE(sims.back()->Start());
            path = sims.back()->DevicePath();
        } else {
            scripted.push_back(std::make_unique<ScriptedPeer>());
            ScriptedPeer& scriptedPeer = *scripted.back();
            path = scriptedPeer.Path();
            if (peer == Peer::Garbled)
                scriptedPeer.AnswerAfter(3, {0x02, 0x02, 0x15, 0x01});
            if (peer == Peer::BuiltIn)
                scriptedPeer.AnswerAfter(3, {0x02, 0x08, 0x20, '4', '.', '2', '.', '1', 0x01, 0xF7});
            if (peer == Peer::Held)
                holders.push_back(std::make_unique<Holder>(path));
            watched.emplace_back(&scriptedPeer, peer != Peer::Held && peer != Peer::BuiltIn);
        }
        ports.push_back(PortInfo{path, "", peer == Peer::BuiltIn ? "serial8250" : "ch341", "", peer != Peer::BuiltIn,
                                 0x1a86, 0x7523, "", "", peer == Peer::BuiltIn ? "" : serial});
    }
};

TEST(CliAutoPort, TakesTheOneKestruneThatAnswersAndSaysWhy)
{
    const AutoCase cases[] = {
        {"one answers",
         {Peer::Kestrune, Peer::Silent, Peer::Garbled},
         0,
         {" (usb:SIM1), the one USB serial adapter on which a Kestrune answered the version query.\n",
          "(usb:SIM1): a Kestrune answered (firmware 4.2.1)\n", "(usb:SIM2): no answer\n",
          "(usb:SIM3): 4 bytes, no valid answer (02 02 15 01)\n",
          "the adapter or its driver (ch341) may not support parity"}},
        {"two answer",
         {Peer::Kestrune, Peer::Silent, Peer::Kestrune},
         -1,
         {"--port auto: Kestrunes answered on 2 adapters; name the one to update with --device:\n",
          "(usb:SIM1): a Kestrune answered", "(usb:SIM3): a Kestrune answered"}},
        {"the only adapter, silent: a Kestrune in bootstrap mode",
         {Peer::Silent},
         0,
         {"the only USB serial adapter present; no Kestrune answered on it, as none does in bootstrap mode"}},
        {"none answers on two",
         {Peer::Silent, Peer::Garbled},
         -1,
         {"no Kestrune answered on the 2 USB serial adapters present", "may not support parity"}},
        {"a held one is not tried",
         {Peer::Held, Peer::Kestrune},
         1,
         {"(usb:SIM1): not tried: in use by another program"}},
        {"built-in ports never", {Peer::BuiltIn}, -1, {"--port auto: no USB serial adapter was found."}},
    };
    for (const AutoCase& c : cases) {
        AutoPeers peers;
        for (const Peer peer : c.peers)
            peers.Add(peer);
        const AutoChoice choice = ChooseAutoPort(ProbeUsbPorts(peers.ports), peers.ports);
        EXPECT_EQ(choice.bChosen, c.chosen >= 0) << c.what << ": " << choice.text;
        if (c.chosen >= 0) {
            EXPECT_EQ(choice.port.path, peers.ports[c.chosen].path) << c.what;
        }
        for (const std::string& part : c.text)
            EXPECT_TRUE(Has(choice.text, part)) << c.what << ": " << part << " in\n" << choice.text;
        // The version query and nothing else, to the ports that are tried only.
        const std::vector<uint8_t> query = {0x02, 0x01, 0x20};
        for (const auto& [peer, asked] : peers.watched)
            EXPECT_EQ(peer->Received(asked ? 3 : 0), asked ? query : std::vector<uint8_t>{}) << c.what;
    }
}

// Here, with no USB serial adapter, --port auto ends at once.
TEST(CliAutoPort, WithoutAnAdapterSaysSo)
{
    const std::vector<PortInfo> ports = DiscoverPorts();
    if (std::any_of(ports.begin(), ports.end(), [](const PortInfo& port) { return port.bUsb; }))
        GTEST_SKIP() << "a USB serial adapter is present";
    const CliRun run = RunCli({"--port", "auto", "-y"});
    EXPECT_EQ(run.exit, ExitPortUnavailable);
    EXPECT_TRUE(Has(run.err, "no USB serial adapter was found")) << run.err;
}

} // namespace
