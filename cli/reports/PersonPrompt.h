#pragma once
// Where the updater asks the person and reads the answer: a line typed at
// the terminal, or a button on the page. A single update's go-ahead and its
// power cycle, a bench's go-ahead and a station's rounds all ask through it.

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

class PersonPrompt {
public:
    virtual ~PersonPrompt() = default;
    // Shows the question and waits for the answer, without its line end;
    // nothing when none can come (the input ended, a signal, the page
    // closed). offered are the answers a page gives as buttons ("" is
    // Enter); at the terminal any line is an answer.
    virtual std::optional<std::string> Ask(const std::string& question, const std::vector<std::string>& offered) = 0;
    // Words to read before the next question.
    virtual void Tell(const std::string& text) = 0;
};

// The terminal: questions to `to` at once, answers a line at a time from
// `from`.
class TerminalPrompt : public PersonPrompt {
public:
    TerminalPrompt(std::FILE* to, std::FILE* from) : m_to(to), m_from(from) {}
    std::optional<std::string> Ask(const std::string& question, const std::vector<std::string>& offered) override;
    void Tell(const std::string& text) override;

private:
    std::FILE* m_to;
    std::FILE* m_from;
};

// The answer in lower case without spaces; "" for none.
std::string FoldedAnswer(const std::optional<std::string>& answer);
// Only "y" or "yes" (any case, spaces aside) is a yes.
bool IsYes(const std::optional<std::string>& answer);
// "q", "quit", or no answer at all.
bool IsStop(const std::optional<std::string>& answer);
