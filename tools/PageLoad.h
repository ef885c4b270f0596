#pragma once
// The page's share of an update, for the benchmark: the unit's events fed
// to the page's state as a bench with --gui feeds it (a StatusReport of the
// page's slot and a PageWatcher), and a reader that takes the whole state
// as text each time it changed, at most every 100 ms, as the page's server
// does for each browser connected to it.

#include "LinkObserver.h"
#include "PageState.h"
#include "PageWatcher.h"
#include "ProgressPlan.h"
#include "StatusReport.h"

#include <sys/types.h>

#include <atomic>
#include <memory>
#include <thread>

class PageServer;

class PageLoad : public LinkObserver {
public:
    // browser: the page served as --gui serves it and headless chromium
    // connected to it, instead of the reader of this program.
    explicit PageLoad(bool browser = false);
    ~PageLoad() override;
    PageLoad(const PageLoad&) = delete;
    PageLoad& operator=(const PageLoad&) = delete;

    void OnStep(const StageProgress& progress) override { m_report.Step(progress); }
    // The state's text as the reader took it, and how often.
    size_t Snapshots() const { return m_snapshots; }
    size_t Bytes() const { return m_bytes; }
    // The browser started and the page served to it.
    bool Served() const { return m_browser > 0; }

private:
    void Read();

    ProgressPlan m_plan = ProgressPlan::ForCarriedImages();
    PageState m_page{PageMode::Station, 1};
    PageWatcher m_watcher{&m_page, 1};
    StatusReport m_report{m_plan, m_watcher};
    std::atomic<bool> m_bStop{false};
    std::atomic<size_t> m_snapshots{0};
    std::atomic<size_t> m_bytes{0};
    std::thread m_reader;
    std::unique_ptr<PageServer> m_server;
    pid_t m_browser = -1;
};
