#include "PageHost.h"

#include "CliExit.h"
#include "Interrupts.h"
#include "JsonReport.h"
#include "OwnerPage.h"
#include "PageState.h"
#include "SimulatedDevice.h"
#include "UpdateSession.h"

#include <chrono>
#include <csignal>
#include <thread>

PageHost::PageHost(const CliOptions& options, const CliStreams& io, PageState& state, PageRoutes* routes)
    : m_options(options), m_io(io), m_server(state, routes, [this] {
          m_bQuit = true;
          RequestInterrupt(SIGINT); // an update under way stops at its next exchange
      })
{
}

bool PageHost::Open()
{
    std::string error;
    if (!m_server.Start(static_cast<uint16_t>(m_options.guiPort), error)) {
        std::fprintf(m_io.err, "kestrune-update: %s\n", error.c_str());
        return false;
    }
    const std::string address = m_server.Address();
    if (m_options.bJson)
        std::fprintf(m_io.out, "%s\n", JsonLine(JsonEvent{{"event", "gui"}, {"url", address}}).c_str());
    else
        std::fprintf(m_io.out, "Kestrune Zeruzuz is open at %s\n", address.c_str());
    std::fflush(m_io.out);
    if (!m_options.bNoBrowser && !OpenInBrowser(address, error))
        std::fprintf(m_io.err, "kestrune-update: %s; open the address above in a browser\n", error.c_str());
    return true;
}

namespace {

// Until "Quit", Ctrl-C or SIGTERM (the handlers only note the signal).
void WaitForStop()
{
    while (InterruptSignal() == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
}

// The page's last word: its live channel pushes the end before the server goes.
void Closed(PageState& state)
{
    state.SetClosed();
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
}

} // namespace

int RunOwnerPage(const CliOptions& options, const CliStreams& io)
{
    UpdateSession session(options, io);
    if (!session.Open() || !session.OpenTrace())
        return ExitUsage;
    std::string reason;
    // The simulated Kestrune is offered where there is one (Linux), as the
    // command line's main job uses it; a page without it still lists the ports.
    const std::unique_ptr<SimulatedDevice> sim = StartSimulatedDevice(options, reason);
    PageState state(PageMode::Owner, 1);
    OwnerPage owner(options, state, session, sim.get());
    owner.ListPorts();
    PageHost host(options, io, state, &owner);
    if (!host.Open())
        return ExitPortUnavailable;
    WaitForStop();
    owner.Finish();
    Closed(state);
    const UnitOutcome last = owner.LastOutcome();
    if (host.QuitAsked() && last != UnitOutcome::Interrupted)
        return ExitSuccess;
    return ExitStatus(UnitOutcome::Interrupted);
}

int RunWithPage(const CliOptions& options, const CliStreams& io, PageState& state, const std::function<int()>& run)
{
    PageHost host(options, io, state, nullptr);
    if (!host.Open())
        return ExitPortUnavailable;
    const int exit = run();
    if (InterruptSignal() == 0) {
        std::fprintf(io.err, "kestrune-update: the page stays open until its \"Quit\" or Ctrl-C\n");
        WaitForStop();
    }
    Closed(state);
    return host.QuitAsked() ? exit : ExitStatus(UnitOutcome::Interrupted);
}
