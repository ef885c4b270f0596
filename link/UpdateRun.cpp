#include "UpdateRun.h"

#include "DeviceText.h"

#include <algorithm>

int RunUpdateStages(CDeviceLink& link)
{
    if (!link.LoadPrimaryBootstrap())
        return StageNumber(UpdateStage::PrimaryBootstrap);
    if (!link.LoadSecondaryBootstrap())
        return StageNumber(UpdateStage::SecondaryBootstrap);
    if (!link.LoadFpgaImage())
        return StageNumber(UpdateStage::FpgaImage);
    if (!link.LoadApplication())
        return StageNumber(UpdateStage::Application);
    return 0;
}

std::optional<std::string> QueryDeviceVersion(CDeviceLink& link)
{
    link.SetLineMode(kRunLine); // the query goes ahead whatever the port said
    uint8_t reply[FrameLengthsOf(LinkExchange::Version).answer] = {};
    if (!link.QueryVersion(reply))
        return std::nullopt;
    // The characters up to the first zero, whatever the header says: the
    // dialog program has always shown what came.
    const uint8_t* text = reply + kVersionTextOffset;
    const uint8_t* end = std::find(text, text + kVersionTextLength, 0);
    return PrintableDeviceText(text, static_cast<size_t>(end - text));
}

bool IsVersionFrame(const std::vector<uint8_t>& reply)
{
    return reply.size() == FrameLengthsOf(LinkExchange::Version).answer &&
           std::equal(std::begin(kVersionFrameHeader), std::end(kVersionFrameHeader), reply.begin());
}
