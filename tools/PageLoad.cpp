#include "PageLoad.h"

#include "PageServer.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace {

// The server's pace: at most one state a tenth of a second to each browser.
constexpr std::chrono::milliseconds kPushMs(100);

} // namespace

PageLoad::PageLoad(bool browser)
{
    m_page.NameSlot(1, "simulated 1", "simulated Kestrune (no real device)", true);
    m_report.Start("simulated 1", std::string("4.2.1"));
    if (!browser) {
        m_reader = std::thread(&PageLoad::Read, this);
        return;
    }
    m_server = std::make_unique<PageServer>(m_page, nullptr, [] {});
    std::string error;
    if (!m_server->Start(0, error)) {
        std::fprintf(stderr, "update_benchmark: the page's server: %s\n", error.c_str());
        return;
    }
    const std::string address = m_server->Address();
    m_browser = fork();
    if (m_browser == 0) {
        const int quiet = open("/dev/null", O_WRONLY); // the browser's own complaints (no D-Bus here)
        dup2(quiet, STDOUT_FILENO);
        dup2(quiet, STDERR_FILENO);
        execl("/usr/bin/chromium", "chromium", "--headless=new", "--no-sandbox", "--disable-gpu", address.c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::seconds(8)); // the browser starts, loads the page and connects
}

PageLoad::~PageLoad()
{
    m_bStop = true;
    m_page.SetEnded(true); // wakes the reader
    if (m_reader.joinable())
        m_reader.join();
    if (m_browser > 0) {
        kill(m_browser, SIGTERM);
        waitpid(m_browser, nullptr, 0);
    }
    if (m_server)
        m_server->Stop();
}

void PageLoad::Read()
{
    uint64_t seen = 0;
    while (!m_bStop) {
        seen = m_page.WaitForChange(seen, std::chrono::seconds(1));
        m_bytes += m_page.SnapshotText().size();
        ++m_snapshots;
        std::this_thread::sleep_for(kPushMs);
    }
}
