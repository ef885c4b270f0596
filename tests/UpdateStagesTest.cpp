// Whole updates against the simulated Kestrune, with and without faults.

#include "DeviceState.h"
#include "EmbeddedImages.h"
#include "FaultSpec.h"
#include "FirmwareImages.h"
#include "SRecordReader.h"
#include "SRecordText.h"
#include "SimulatedKestrune.h"
#include "UpdateRun.h"

#include <gtest/gtest.h>

#include <array>
#include <cctype>
#include <string>
#include <vector>

namespace {

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

    using State = DeviceState;
    State Now() { return sim.WithDevice([](KestruneDevice& device) { return DeviceState::Of(device); }); }
    uint32_t Count(Exchange exchange)
    {
        return sim.WithDevice([&](KestruneDevice& device) { return device.ExchangeCount(exchange); });
    }

    SimulatedKestrune sim;
    CDeviceLink link;
    State factory;
};

TEST_F(UpdateStages, FullUpdateProgramsBanksTwoAndThreeAndNothingElse)
{
    ASSERT_EQ(RunUpdateStages(link), 0);
    EXPECT_EQ(sim.HostLineMode(), kRunLine);
    const State after = Now();
    EXPECT_EQ(after.banks[2], ExpectedBank(kXilinxDataImage));
    EXPECT_EQ(after.banks[3], ExpectedBank(kApplicationImage));
    EXPECT_EQ(after.banks[0], factory.banks[0]);
    EXPECT_EQ(after.banks[1], factory.banks[1]);
    EXPECT_EQ(after.eeprom, factory.eeprom);
    EXPECT_EQ(Count(Exchange::WriteBlock), 256u);
    EXPECT_EQ(Count(Exchange::ReadBlock), 256u);
    EXPECT_EQ(Count(Exchange::Program), 49u + 247u);

    // Until the power cycle the secondary loader ignores the version query.
    EXPECT_FALSE(QueryDeviceVersion(link).has_value());
    sim.PowerCycle(false);
    EXPECT_EQ(QueryDeviceVersion(link), "5.0.3");
    EXPECT_TRUE(sim.WithDevice([](KestruneDevice& device) { return device.FpgaConfigured(); }));
}

TEST_F(UpdateStages, ReadBackThatTimesOutDoesNotStopTheStage)
{
    sim.WithDevice([](KestruneDevice& device) { device.AddFault(*ParseFault("silence:read:100")); });
    EXPECT_EQ(RunUpdateStages(link), 0);
    EXPECT_EQ(Count(Exchange::ReadBlock), 100u); // the read-back ended at the silent block
}

TEST_F(UpdateStages, MissingImageFailsItsStageBeforeAnythingIsSent)
{
    static std::vector<EmbeddedImage> withoutApplication;
    const ImageCatalog builtIn = BuiltInImages();
    for (uint32_t i = 0; i < builtIn.count; ++i)
        if (builtIn.images[i].id != kApplicationImage.id)
            withoutApplication.push_back(builtIn.images[i]);
    link.SetImageSource({nullptr, {withoutApplication.data(), static_cast<uint32_t>(withoutApplication.size())}});
    EXPECT_EQ(RunUpdateStages(link), 4);
    EXPECT_EQ(Count(Exchange::FlashId), 1u); // stage 4 never spoke to the device
    EXPECT_EQ(Now().banks[3], factory.banks[3]);
}

TEST_F(UpdateStages, PagesInFrontOfTheEepromAreNeverSentWhateverTheImageHolds)
{
    // Data in every page of 0xB600-0xB7FF, and on both sides of them.
    static std::string text;
    for (uint32_t address = 0xB5F0; address < 0xB810; address += 16)
        text += S1(static_cast<uint16_t>(address), std::vector<uint8_t>(16, 0x5A));
    text += kS9;
    static std::vector<EmbeddedImage> images;
    const ImageCatalog builtIn = BuiltInImages();
    for (uint32_t i = 0; i < builtIn.count; ++i)
        images.push_back(builtIn.images[i].id == kApplicationImage.id
                             ? EmbeddedImage{"APPLICATION", kApplicationImage.id, text.data(),
                                             static_cast<uint32_t>(text.size())}
                             : builtIn.images[i]);
    link.SetImageSource({nullptr, {images.data(), static_cast<uint32_t>(images.size())}});

    ASSERT_EQ(RunUpdateStages(link), 0);
    const State after = Now();
    EXPECT_EQ(after.eeprom, factory.eeprom);
    EXPECT_EQ(after.banks[3][0x35F0], 0x5A); // page 0xB580 is sent
    EXPECT_EQ(after.banks[3][0x3800], 0x5A); // and so is page 0xB800
    EXPECT_EQ(Count(Exchange::Program), 49u + 2u);
}

struct FaultCase {
    const char* fault;
    int failingStage; // 0: the update succeeds all the same
};

void PrintTo(const FaultCase& fault, std::ostream* out) { *out << fault.fault; }

class LineModeAfterFailure : public UpdateStages, public ::testing::WithParamInterface<FaultCase> {};

// Stage 1 switches to the loaders' line before it compares the echo; a
// failed page leaves the line where the page was sent.
TEST_P(LineModeAfterFailure, IsTheLoaderLine)
{
    sim.WithDevice([&](KestruneDevice& device) { device.AddFault(*ParseFault(GetParam().fault)); });
    EXPECT_EQ(RunUpdateStages(link), GetParam().failingStage);
    EXPECT_EQ(sim.HostLineMode(), kLoaderLine);
}

INSTANTIATE_TEST_SUITE_P(Failures, LineModeAfterFailure,
                         ::testing::Values(FaultCase{"corrupt:echo:1:255", 1},
                                           FaultCase{"nak:program:5", 3}));

class UpdateStageFaults : public UpdateStages, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(UpdateStageFaults, FailTheirStageAndAFreshUpdateSucceeds)
{
    const auto fault = ParseFault(GetParam().fault);
    ASSERT_TRUE(fault);
    sim.WithDevice([&](KestruneDevice& device) { device.AddFault(*fault); });
    EXPECT_EQ(RunUpdateStages(link), GetParam().failingStage);
    EXPECT_EQ(Now().eeprom, factory.eeprom);
    if (GetParam().failingStage == 1 || GetParam().failingStage == 2) { // flash untouched until the erase
        EXPECT_EQ(Now().banks[3], factory.banks[3]);
    }

    sim.WithDevice([](KestruneDevice& device) {
        device.ClearFaults();
        device.ReconnectCable();
    });
    sim.PowerCycle(true);
    ASSERT_EQ(RunUpdateStages(link), 0);
    sim.PowerCycle(false);
    EXPECT_EQ(QueryDeviceVersion(link), "5.0.3");
    EXPECT_EQ(Now().eeprom, factory.eeprom);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, UpdateStageFaults,
    ::testing::Values(FaultCase{"corrupt:echo:1:255", 1}, FaultCase{"silence:sign-on", 1},
                      FaultCase{"nak:clear", 2}, FaultCase{"nak:write:100", 2},
                      FaultCase{"corrupt:read:17:5", 2}, FaultCase{"silence:ping", 2},
                      // the loader's 'Y' is read 500 ms after the 'V', within 100 ms
                      FaultCase{"late:ping:1:300", 0}, FaultCase{"late:ping:1:450", 0},
                      FaultCase{"late:ping:1:700", 2},
                      FaultCase{"corrupt:flash-id:1:1", 3}, FaultCase{"late:erase:1:1000", 3},
                      FaultCase{"nak:program:10:0xFF", 3}, FaultCase{"nak:program:60", 4},
                      FaultCase{"unplug:program:100", 4}, FaultCase{"late:program:200:150", 4}),
    [](const ::testing::TestParamInfo<FaultCase>& info) {
        std::string name = info.param.fault;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c)))
                c = '_';
        return name;
    });

} // namespace
