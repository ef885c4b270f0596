#pragma once
// The person asked on the page instead of the terminal: the question shows
// in PageState with the answers offered as buttons, and Ask waits for the
// page's answer, a signal (Ctrl-C, SIGTERM), or Close from another thread
// (the page's "Quit", the server ending); nullopt then.

#include "PageState.h"

#include <atomic>
#include <optional>
#include <string>
#include <vector>

class PagePrompt {
public:
    // answers: the buttons, e.g. {"yes", "no"} or {"next", "q"}.
    PagePrompt(PageState& page, std::vector<std::string> answers);
    std::optional<std::string> Ask(const std::string& question);
    // Every question open now and later ends unanswered.
    void Close();

private:
    PageState& m_page;
    std::vector<std::string> m_answers;
    std::atomic<bool> m_bClosed{false};
    std::atomic<uint64_t> m_asked{0}; // the question open now, 0 for none
};
