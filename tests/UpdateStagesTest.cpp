// Whole updates against the simulated Kestrune, with and without faults.

#include "EmbeddedImages.h"
#include "FaultSpec.h"
#include "FirmwareImages.h"
#include "KestruneDevice.h"
#include "SRecordReader.h"
#include "SRecordText.h"
#include "SimulatedKestrune.h"
#include "UpdateRun.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

namespace {

using Bank = std::array<uint8_t, KestruneDevice::kBankSize>;

// Erased flash with the image on it; all 0xFF when the image is missing.
Bank ExpectedBank(const FirmwareImage& image)
{
    Bank bank;
    bank.fill(0xFF);
    ImageText text{};
    if (FindImageText(ImageSource{}, image.typeName, image.id, text))
        CSRecordReader::ReadImage(text.text, text.length, bank.data(), image.base, image.limit);
    return bank;
}

struct DeviceState {
    std::array<Bank, 4> banks;
    std::array<uint8_t, KestruneDevice::kEepromSize> eeprom;
};

class UpdateStages : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.Start());
        sim.WithDevice([](KestruneDevice& device) { device.Timing().signOnDelay = std::chrono::milliseconds(300); });
        sim.PowerCycle(true);
        ASSERT_TRUE(link.Open(sim.DevicePath()));
        factory = Now();
    }

    DeviceState Now()
    {
        return sim.WithDevice([](KestruneDevice& d) {
            return DeviceState{{d.Bank(0), d.Bank(1), d.Bank(2), d.Bank(3)}, d.Eeprom()};
        });
    }
    uint32_t Count(Exchange exchange)
    {
        return sim.WithDevice([&](KestruneDevice& device) { return device.ExchangeCount(exchange); });
    }

    SimulatedKestrune sim;
    CDeviceLink link;
    DeviceState factory;
};

// Banks and version after an update: see the random faults' clean updates.
TEST_F(UpdateStages, FullUpdateSendsEachBlockAndPageOnce)
{
    ASSERT_EQ(RunUpdateStages(link), 0);
    EXPECT_EQ(Count(Exchange::WriteBlock), 256u);
    EXPECT_EQ(Count(Exchange::ReadBlock), 256u);
    EXPECT_EQ(Count(Exchange::Program), 49u + 247u);
    // Until the power cycle the secondary loader ignores the version query.
    EXPECT_FALSE(QueryDeviceVersion(link).has_value());
    sim.PowerCycle(false);
    EXPECT_TRUE(sim.WithDevice([](KestruneDevice& device) { return device.FpgaConfigured(); }));
}

TEST_F(UpdateStages, ReadBackThatTimesOutDoesNotStopTheStage)
{
    sim.WithDevice([](KestruneDevice& device) { device.AddFault(*ParseFault("silence:read:100")); });
    EXPECT_EQ(RunUpdateStages(link), 0);
    EXPECT_EQ(Count(Exchange::ReadBlock), 100u); // the read-back ended at the silent block
}

struct Target {
    Exchange exchange;
    uint32_t count; // how often an update makes it
    uint32_t replyLength;
};

// The exchanges that answer, as often as one update makes them.
constexpr Target kTargets[] = {
    {Exchange::Echo, 1, 256},       {Exchange::SignOn, 1, 1},       {Exchange::ClearRange, 1, 1},
    {Exchange::WriteBlock, 256, 1}, {Exchange::ReadBlock, 256, 32}, {Exchange::Ping, 1, 1},
    {Exchange::FlashId, 2, 3},      {Exchange::Erase, 2, 1},        {Exchange::Program, 49 + 247, 1},
};

// The stage that makes this occurrence of the exchange.
int StageOf(Exchange exchange, uint32_t occurrence)
{
    switch (exchange) {
    case Exchange::Echo:
    case Exchange::SignOn: return 1;
    case Exchange::FlashId:
    case Exchange::Erase: return occurrence == 1 ? 3 : 4;
    case Exchange::Program: return occurrence <= 49 ? 3 : 4;
    default: return 2;
    }
}

std::optional<Fault> Draw(std::mt19937& random)
{
    if (random() % 4 == 0)
        return std::nullopt;
    const Target& target = kTargets[random() % std::size(kTargets)];
    constexpr FaultKind kKinds[] = {FaultKind::Silence, FaultKind::Late, FaultKind::Nak, FaultKind::CorruptByte,
                                    FaultKind::CablePulled};
    Fault fault{};
    fault.kind = kKinds[random() % std::size(kKinds)];
    fault.at = target.exchange;
    fault.occurrence = 1 + random() % target.count;
    fault.value = 0x01;
    fault.index = random() % target.replyLength;
    fault.delayMs = 200 + random() % 1000;
    return fault;
}

// Random faults (kind, exchange, occurrence) from a fixed seed, or none,
// each failed update followed by a clean one: ten here, KZ_SOAK_RUNS in the
// long soak. A line an update.
TEST_F(UpdateStages, RandomFaultsFailTheStageTheyHitAndTouchNothingElse)
{
    const Bank fpga = ExpectedBank(kXilinxDataImage);
    const Bank application = ExpectedBank(kApplicationImage);
    const auto update = [&](const std::optional<Fault>& fault) {
        const std::string what = fault ? DescribeFault(*fault) : "no fault";
        sim.WithDevice([&](KestruneDevice& device) {
            device.ClearFaults();
            device.ReconnectCable();
            if (fault)
                device.AddFault(*fault);
        });
        sim.PowerCycle(true);
        const int failed = RunUpdateStages(link);
        std::printf("%-40s %s\n", what.c_str(), failed ? link.FailureDetail() : "succeeded");
        const DeviceState now = Now();
        EXPECT_TRUE(now.banks[0] == factory.banks[0] && now.banks[1] == factory.banks[1]) << what;
        EXPECT_TRUE(now.eeprom == factory.eeprom) << what;
        if (failed == 0) {
            EXPECT_TRUE(now.banks[2] == fpga && now.banks[3] == application) << what;
            sim.PowerCycle(false);
            EXPECT_EQ(QueryDeviceVersion(link), "5.0.3") << what;
        } else {
            EXPECT_EQ(failed, fault ? StageOf(fault->at, fault->occurrence) : 0) << what;
        }
        return failed;
    };
    std::mt19937 random(2026);
    const char* runs = std::getenv("KZ_SOAK_RUNS");
    for (int run = 0; run < (runs ? std::atoi(runs) : 10); ++run)
        if (update(Draw(random)) != 0)
            update(std::nullopt);
}

// The carried images with the application's text replaced, or left out.
ImageSource WithApplication(const std::string* text)
{
    static std::vector<EmbeddedImage> images;
    images.clear();
    const ImageCatalog builtIn = BuiltInImages();
    for (uint32_t i = 0; i < builtIn.count; ++i)
        if (builtIn.images[i].id != kApplicationImage.id)
            images.push_back(builtIn.images[i]);
    if (text)
        images.push_back(
            {kApplicationImage.typeName, kApplicationImage.id, text->data(), static_cast<uint32_t>(text->size())});
    return {nullptr, {images.data(), static_cast<uint32_t>(images.size())}};
}

TEST_F(UpdateStages, MissingImageFailsItsStageBeforeAnythingIsSent)
{
    link.SetImageSource(WithApplication(nullptr));
    EXPECT_EQ(RunUpdateStages(link), 4);
    EXPECT_EQ(Count(Exchange::FlashId), 1u); // stage 4 never spoke to the device
    EXPECT_EQ(Now().banks[3], factory.banks[3]);
}

TEST_F(UpdateStages, PagesInFrontOfTheEepromAreNeverSentWhateverTheImageHolds)
{
    // Data in every page of 0xB600-0xB7FF, and on both sides of them.
    std::string text;
    for (uint32_t address = 0xB5F0; address < 0xB810; address += 16)
        text += S1(static_cast<uint16_t>(address), std::vector<uint8_t>(16, 0x5A));
    text += kS9;
    link.SetImageSource(WithApplication(&text));

    ASSERT_EQ(RunUpdateStages(link), 0);
    const DeviceState after = Now();
    EXPECT_EQ(after.eeprom, factory.eeprom);
    EXPECT_EQ(after.banks[3][0x35F0], 0x5A); // page 0xB580 is sent
    EXPECT_EQ(after.banks[3][0x3800], 0x5A); // and so is page 0xB800
    EXPECT_EQ(Count(Exchange::Program), 49u + 2u);
}

struct FaultCase {
    const char* fault;
    int failingStage; // 0: the update succeeds all the same
    int16_t lineMode; // the host's, after the update
    const char* detail;
    const char* note; // what the outcome adds where the update succeeds
};

void PrintTo(const FaultCase& fault, std::ostream* out) { *out << fault.fault; }

class UpdateStageFaults : public UpdateStages, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(UpdateStageFaults, FailTheirStageAndSayWhereAndWhy)
{
    const FaultCase& c = GetParam();
    const auto fault = ParseFault(c.fault);
    ASSERT_TRUE(fault);
    sim.WithDevice([&](KestruneDevice& device) { device.AddFault(*fault); });
    EXPECT_EQ(RunUpdateStages(link), c.failingStage);
    EXPECT_EQ(sim.HostLineMode(), c.lineMode);
    EXPECT_STREQ(link.FailureDetail(), c.detail);
    EXPECT_STREQ(link.OutcomeNote(), c.note);
    EXPECT_EQ(Now().eeprom, factory.eeprom);
    if (c.failingStage == 1 || c.failingStage == 2) { // flash untouched until the erase
        EXPECT_EQ(Now().banks[3], factory.banks[3]);
    }
}

// Stage 1 switches to the loaders' line before it compares the echo; a
// failed page leaves the line where the page was sent. The loader's 'Y' is
// read 500 ms after the 'V', within 100 ms. The 7th page of the FPGA image
// is 0xBB00.
INSTANTIATE_TEST_SUITE_P(
    Faults, UpdateStageFaults,
    ::testing::Values(
        FaultCase{"corrupt:echo:1:255", 1, kLoaderLine, "echo differs at byte 255: sent 0x00, got 0x01", ""},
        FaultCase{"silence:sign-on", 1, kLoaderLine, "no sign-on 'X' within 3 s", ""},
        FaultCase{"nak:clear", 2, kLoaderLine, "clear: device answered 0x01", ""},
        FaultCase{"nak:write:100", 2, kLoaderLine, "write block 0x6C60: device answered 0x01", ""},
        FaultCase{"corrupt:read:17:5", 2, kLoaderLine, "read-back of block 0x6200 differs from what was written", ""},
        FaultCase{"silence:read:100", 0, kRunLine, "",
                  "only 99 of 256 blocks of the secondary loader were read back (read block 0x6C60: no answer "
                  "within 100 ms); the loader then answered 'Y'"},
        FaultCase{"silence:ping", 2, kLoaderLine, "ping ('Y' read 500 ms after 'V'): no answer within 100 ms", ""},
        FaultCase{"late:ping:1:450", 0, kRunLine, "", ""},
        FaultCase{"late:ping:1:700", 2, kLoaderLine, "ping ('Y' read 500 ms after 'V'): no answer within 100 ms", ""},
        FaultCase{"corrupt:flash-id:1:1", 3, kLoaderLine, "flash device code 0x21, expected 0x20", ""},
        FaultCase{"late:erase:1:1000", 3, kLoaderLine,
                  "erase of bank 2 (answer read 2 s after the command): no answer within 100 ms", ""},
        FaultCase{"nak:program:7", 3, kLoaderLine,
                  "page 0xBB00 of bank 2: device answered 0x01 (a byte failed to program)", ""},
        FaultCase{"nak:program:60", 4, kLoaderLine,
                  "page 0x8500 of bank 3: device answered 0x01 (a byte failed to program)", ""},
        FaultCase{"unplug:program:100", 4, kLoaderLine, "page 0x9900 of bank 3: no answer within 100 ms", ""},
        FaultCase{"late:program:200:150", 4, kLoaderLine, "page 0xCE80 of bank 3: no answer within 100 ms", ""}));

} // namespace
