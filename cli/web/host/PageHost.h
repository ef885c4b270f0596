#pragma once
// A run with --gui: the page served for as long as this lives, its address
// printed (one line, or a `gui` event with --json), the browser opened on
// it unless --no-browser. "Quit" on the page stops the run as Ctrl-C does.

#include "CliOptions.h"
#include "CliStreams.h"
#include "PageServer.h"

#include <atomic>
#include <functional>

class PageHost {
public:
    PageHost(const CliOptions& options, const CliStreams& io, PageState& state, PageRoutes* routes);
    // Serves and tells where; false, told on err, when it cannot serve.
    bool Open();
    // The person pressed "Quit".
    bool QuitAsked() const { return m_bQuit; }

private:
    const CliOptions& m_options;
    CliStreams m_io;
    std::atomic<bool> m_bQuit{false};
    PageServer m_server;
};

// The owner's page (--gui without a bench): until "Quit", Ctrl-C or
// SIGTERM. The exit status: 0 after "Quit" with no update under way, else
// as the update under way ended (130, 143 when a signal stopped it).
int RunOwnerPage(const CliOptions& options, const CliStreams& io);

// A bench or station with its page: run is the bench, fed to state. The
// page stays when it has ended, saying so, until "Quit" (the bench's exit
// status then), Ctrl-C or SIGTERM (130, 143).
int RunWithPage(const CliOptions& options, const CliStreams& io, PageState& state, const std::function<int()>& run);

// Opens the address in the system's browser (xdg-open; ShellExecute on
// Windows); false with the reason when it could not.
bool OpenInBrowser(const std::string& address, std::string& error);
