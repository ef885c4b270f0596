#pragma once
// A simulated Kestrune behind a pseudo-terminal: the updater opens the
// terminal's device path like a serial port. Threads of its own (one a
// processor, whichever runs first) carry bytes between the terminal and the
// device model, reading the line settings the updater applied, and, when
// paced, spacing bytes as the line speed would.

#include "HostTurnarounds.h"
#include "KestruneDevice.h"

#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class SimulatedKestrune {
public:
    struct Options {
        bool bPaced = false;            // bytes take their wire time in both directions
        bool bStartInBootstrap = false; // powered on with "SET" held
        uint32_t latencyMs = 0;         // a USB adapter's latency timer: answers reach
                                        // the host at its next tick (0: at once)
    };

    explicit SimulatedKestrune(Options options);
    SimulatedKestrune() : SimulatedKestrune(Options{}) {}
    ~SimulatedKestrune();
    SimulatedKestrune(const SimulatedKestrune&) = delete;
    SimulatedKestrune& operator=(const SimulatedKestrune&) = delete;

    // Opens the pseudo-terminal and starts the device; false if the
    // terminal could not be made.
    bool Start();
    const std::string& DevicePath() const { return m_devicePath; }
    bool Paced() const { return m_options.bPaced; }

    // Power off and on again, with or without "SET" held.
    void PowerCycle(bool holdSet);
    void PowerOff();

    // Runs f on the device model while the carrier thread waits.
    template <typename F>
    auto WithDevice(F&& f)
    {
        std::lock_guard lock(m_mutex);
        return f(m_device);
    }

    // The line mode the updater has set, as the updater numbers them.
    int16_t HostLineMode() const;
    // The host's adapter is pulled out: the terminal goes away for good.
    void UnplugAdapter();

    // The host's turnarounds since the device was last powered on or the
    // records cleared (see HostTurnarounds.h).
    TurnaroundSummary Turnarounds() const;
    void ClearTurnarounds();

private:
    struct Pending {
        uint8_t byte;
        KestruneDevice::Time start; // its first bit on the wire
        KestruneDevice::Time at;    // its last
        int16_t lineMode;
    };

    void Run(unsigned processor);
    void DropTerminal();
    void ClearWire();
    void CarryInbound(KestruneDevice::Time now);
    void CarryOutbound(KestruneDevice::Time now);
    KestruneDevice::Time NextWake(KestruneDevice::Time now) const;
    KestruneDevice::Clock::duration CharacterTime() const;
    // Until `wake` (its last `spin` spinning), or until the host writes
    // (m_hostInput is readable) or Wake() is called.
    void WaitUntil(KestruneDevice::Time wake, KestruneDevice::Clock::duration spin, int wakeRead);
    void Wake();

    Options m_options;
    KestruneDevice m_device;
    mutable std::mutex m_mutex;
    std::vector<std::thread> m_carriers; // one a processor (see Start)
    bool m_bStop = false;
    int m_master = -1;
    int m_slave = -1; // held so the terminal stays up between the updater's opens
    // Readable when the host has written: what the carriers wait on. It does
    // not hold the terminal open as a wait on the master itself would.
    int m_hostInput = -1;
    struct WakePipe {
        int read;
        int write;
    };
    std::vector<WakePipe> m_wakes; // a carrier's each
    std::string m_devicePath;
    std::deque<Pending> m_inbound;
    std::deque<Pending> m_outbound;
    KestruneDevice::Time m_inboundFree{};
    KestruneDevice::Time m_outboundFree{};
    bool m_bOutputRefused = false;
    HostTurnarounds m_turnarounds;
};
