#include "PersonPrompt.h"

#include <cctype>

std::optional<std::string> TerminalPrompt::Ask(const std::string& question, const std::vector<std::string>&)
{
    std::fputs(question.c_str(), m_to);
    std::fflush(m_to);
    std::string line;
    for (int c; (c = std::fgetc(m_from)) != EOF && c != '\n';)
        if (line.size() < 256) // a scanner's code or a word; the rest of a long line is dropped
            line += static_cast<char>(c);
    if (line.empty() && std::ferror(m_from))
        return std::nullopt; // a signal, or the input failed
    if (line.empty() && std::feof(m_from))
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return line;
}

void TerminalPrompt::Tell(const std::string& text)
{
    std::fputs(text.c_str(), m_to);
    std::fflush(m_to);
}

std::string FoldedAnswer(const std::optional<std::string>& answer)
{
    std::string folded;
    if (answer)
        for (const char c : *answer)
            if (!std::isspace(static_cast<unsigned char>(c)))
                folded += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded;
}

bool IsYes(const std::optional<std::string>& answer)
{
    const std::string folded = FoldedAnswer(answer);
    return folded == "y" || folded == "yes";
}

bool IsStop(const std::optional<std::string>& answer)
{
    const std::string folded = FoldedAnswer(answer);
    return !answer || folded == "q" || folded == "quit";
}
