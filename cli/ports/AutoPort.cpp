#include "AutoPort.h"

#include "AdapterAdvice.h"
#include "DeviceLink.h"
#include "PortDiagnosis.h"
#include "PortIdentity.h"
#include "UpdateRun.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <thread>

namespace {

// The answer's bytes as they came, for the probe's record.
class ReplyCapture : public LinkObserver {
public:
    void OnFrame(Direction direction, int16_t, const ExchangeLabel&, const uint8_t* bytes, uint32_t count) override
    {
        if (direction == Direction::Received)
            reply.assign(bytes, bytes + count);
    }
    std::vector<uint8_t> reply;
};

void Probe(PortProbe& probe)
{
    const auto link = std::make_unique<CDeviceLink>();
    if (!link->Open(probe.port.path)) {
        const PortOpenFailure& failure = link->OpenFailure();
        probe.eOutcome =
            failure.cause == PortOpenFailure::Cause::Held ? PortProbe::Outcome::Held : PortProbe::Outcome::Unopened;
        std::string why = FirstLine(DescribeOpenFailure(probe.port.path, failure));
        probe.detail = why.substr(std::min(why.size(), probe.port.path.size() + 2)); // without "path: "
        return;
    }
    ReplyCapture capture;
    link->SetObserver(&capture);
    const auto version = QueryDeviceVersion(*link); // the same query an update begins with
    probe.reply = capture.reply;
    if (version && IsVersionFrame(probe.reply)) {
        probe.eOutcome = PortProbe::Outcome::Answered;
        probe.version = *version;
    } else
        probe.eOutcome = probe.reply.empty() ? PortProbe::Outcome::Silent : PortProbe::Outcome::Garbled;
}

std::string Hex(const std::vector<uint8_t>& bytes)
{
    std::string text;
    char byte[4];
    for (uint8_t each : bytes) {
        std::snprintf(byte, sizeof byte, " %02X", each);
        text += byte;
    }
    return text;
}

std::string WhatItAnswered(const PortProbe& probe)
{
    switch (probe.eOutcome) {
    case PortProbe::Outcome::Answered: return "a Kestrune answered (firmware " + probe.version + ")";
    case PortProbe::Outcome::Silent: return "no answer";
    case PortProbe::Outcome::Garbled:
        return std::to_string(probe.reply.size()) + " bytes, no valid answer (" + Hex(probe.reply).substr(1) + ")\n  " +
               ParityHint(probe.port.driver);
    default: return "not tried: " + probe.detail;
    }
}

std::string Tried(const std::vector<PortProbe>& probes, const std::vector<PortInfo>& ports)
{
    std::string text;
    for (const PortProbe& probe : probes) {
        std::string line = "\n  " + PortWithUsbName(probe.port, ports) + ": " + WhatItAnswered(probe);
        if (line.back() == '\n')
            line.pop_back();
        text += line;
    }
    return text;
}

} // namespace

std::vector<PortProbe> ProbeUsbPorts(const std::vector<PortInfo>& ports)
{
    std::vector<PortProbe> probes;
    for (const PortInfo& port : ports)
        if (port.bUsb) {
            probes.emplace_back();
            probes.back().port = port;
        }
    std::vector<std::thread> threads;
    threads.reserve(probes.size());
    for (PortProbe& probe : probes)
        threads.emplace_back(Probe, std::ref(probe));
    for (std::thread& thread : threads)
        thread.join();
    return probes;
}

AutoChoice ChooseAutoPort(const std::vector<PortProbe>& probes, const std::vector<PortInfo>& ports)
{
    AutoChoice choice;
    if (probes.empty()) {
        choice.text = "--port auto: no USB serial adapter was found. Plug in the Kestrune's adapter, or name a "
                      "built-in port with --port N or --device PATH ('kestrune-update --list-ports' lists them).";
        return choice;
    }
    const auto answered = std::count_if(probes.begin(), probes.end(), [](const PortProbe& probe) {
        return probe.eOutcome == PortProbe::Outcome::Answered;
    });
    const PortProbe* chosen = nullptr;
    std::string why;
    if (answered == 1) {
        chosen = &*std::find_if(probes.begin(), probes.end(),
                                [](const PortProbe& probe) { return probe.eOutcome == PortProbe::Outcome::Answered; });
        why = "the one USB serial adapter on which a Kestrune answered the version query";
    } else if (answered == 0 && probes.size() == 1 &&
               (probes[0].eOutcome == PortProbe::Outcome::Silent ||
                probes[0].eOutcome == PortProbe::Outcome::Garbled)) {
        chosen = &probes[0];
        why = "the only USB serial adapter present; no Kestrune answered on it, as none does in bootstrap mode";
    }
    if (chosen) {
        choice.bChosen = true;
        choice.port = chosen->port;
        choice.text = "Port chosen: " + PortWithUsbName(chosen->port, ports) + ", " + why + "." + Tried(probes, ports);
        return choice;
    }
    choice.text = answered > 1 ? "--port auto: Kestrunes answered on " + std::to_string(answered) +
                                     " adapters; name the one to update with --device:"
                  : probes.size() == 1 ? "--port auto: the only USB serial adapter present cannot be tried:"
                                       : "--port auto: no Kestrune answered on the " + std::to_string(probes.size()) +
                                             " USB serial adapters present; name its port with --device:";
    choice.text += Tried(probes, ports);
    return choice;
}
