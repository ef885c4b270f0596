#include "PageLoad.h"

#include <chrono>

namespace {

// The server's pace: at most one state a tenth of a second to each browser.
constexpr std::chrono::milliseconds kPushMs(100);

} // namespace

PageLoad::PageLoad()
{
    m_page.NameSlot(1, "simulated 1", "simulated Kestrune (no real device)", true);
    m_report.Start("simulated 1", std::string("4.2.1"));
    m_reader = std::thread(&PageLoad::Read, this);
}

PageLoad::~PageLoad()
{
    m_bStop = true;
    m_page.SetEnded(true); // wakes the reader
    m_reader.join();
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
