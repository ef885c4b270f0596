#pragma once
// The person asked on the page instead of the terminal: the question shows
// in PageState with the answers offered as buttons, and Ask waits for the
// page's answer, a signal (Ctrl-C, SIGTERM), or Close from another thread
// (the page's "Quit", the server ending); nothing then. The terminal's
// words for the keys ("type yes and press Enter") become the buttons'
// ("press yes"); Enter, the answer "", is the button "continue".

#include "PageState.h"
#include "PersonPrompt.h"

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class PagePrompt : public PersonPrompt {
public:
    explicit PagePrompt(PageState& page) : m_page(page) {}
    std::optional<std::string> Ask(const std::string& question, const std::vector<std::string>& offered) override;
    // Shown with the next question.
    void Tell(const std::string& text) override;
    // Every question open now and later ends unanswered.
    void Close();

    // The question as the page shows it: one paragraph, the keys named as buttons.
    static std::string PageText(const std::string& question);
    // The button that stands for Enter.
    static constexpr const char* kEnterButton = "continue";

private:
    PageState& m_page;
    std::mutex m_toldMutex;
    std::string m_told; // what Tell said since the last question
    std::atomic<bool> m_bClosed{false};
    std::atomic<uint64_t> m_asked{0}; // the question open now, 0 for none
};
