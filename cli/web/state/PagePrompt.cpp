#include "PagePrompt.h"

#include "Interrupts.h"

#include <algorithm>
#include <chrono>

namespace {

// A signal only notes itself: it is looked for this often while waiting.
constexpr std::chrono::milliseconds kSignalLookMs(100);

// The terminal's words for its keys, and the page's for its buttons, replaced in this order.
constexpr const char* kKeyWords[][2] = {
    {"type yes and press Enter", "press yes"},
    {" (anything else cancels)", ""},
    {"press Enter, or type q to stop", "press continue, or q to stop"},
    {"press Enter", "press continue"},
};

void ReplaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size())
        text.replace(at, from.size(), to);
}

} // namespace

std::string PagePrompt::PageText(const std::string& question)
{
    std::string text = question;
    ReplaceAll(text, "\n", " ");
    for (const auto& [terminal, page] : kKeyWords)
        ReplaceAll(text, terminal, page);
    while (!text.empty() && (text.back() == ' ' || text.back() == ':'))
        text.pop_back();
    return text;
}

void PagePrompt::Tell(const std::string& text)
{
    std::lock_guard lock(m_toldMutex);
    m_told += text;
}

std::optional<std::string> PagePrompt::Ask(const std::string& question, const std::vector<std::string>& offered)
{
    std::string text;
    {
        std::lock_guard lock(m_toldMutex);
        text = PageText(m_told + question);
        m_told.clear();
    }
    if (m_bClosed || InterruptSignal() != 0)
        return std::nullopt;
    std::vector<std::string> buttons = offered;
    std::replace(buttons.begin(), buttons.end(), std::string(), std::string(kEnterButton));
    const uint64_t asked = m_page.Ask(text, buttons);
    m_asked = asked;
    if (m_bClosed) // closed while it was being asked: Close found no question to withdraw
        m_page.Withdraw(asked);
    std::optional<std::string> answer;
    while (!m_bClosed && InterruptSignal() == 0)
        if ((answer = m_page.WaitForAnswer(asked, kSignalLookMs)) || !m_page.Asking(asked))
            break; // answered, or withdrawn
    m_asked = 0;
    m_page.Withdraw(asked);
    if (answer && *answer == kEnterButton && std::find(offered.begin(), offered.end(), "") != offered.end())
        return std::string();
    return answer;
}

void PagePrompt::Close()
{
    m_bClosed = true;
    if (const uint64_t asked = m_asked)
        m_page.Withdraw(asked);
}
