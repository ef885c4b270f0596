#include "PagePrompt.h"

#include "Interrupts.h"

#include <chrono>

namespace {

// A signal only notes itself: it is looked for this often while waiting.
constexpr std::chrono::milliseconds kSignalLookMs(100);

} // namespace

PagePrompt::PagePrompt(PageState& page, std::vector<std::string> answers) : m_page(page), m_answers(std::move(answers))
{
}

std::optional<std::string> PagePrompt::Ask(const std::string& question)
{
    if (m_bClosed || InterruptSignal() != 0)
        return std::nullopt;
    const uint64_t asked = m_page.Ask(question, m_answers);
    m_asked = asked;
    if (m_bClosed) // closed while it was being asked: Close found no question to withdraw
        m_page.Withdraw(asked);
    std::optional<std::string> answer;
    while (!m_bClosed && InterruptSignal() == 0) {
        if ((answer = m_page.WaitForAnswer(asked, kSignalLookMs)) || !m_page.Asking(asked))
            break; // answered, or withdrawn
    }
    m_asked = 0;
    m_page.Withdraw(asked);
    return answer;
}

void PagePrompt::Close()
{
    m_bClosed = true;
    if (const uint64_t asked = m_asked)
        m_page.Withdraw(asked);
}
