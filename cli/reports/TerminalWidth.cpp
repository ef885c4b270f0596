#include "TerminalWidth.h"

namespace {

constexpr size_t kUnknownColumns = 80;
constexpr char kLeftOut[] = "...";
constexpr size_t kLeftOutLength = sizeof kLeftOut - 1;

} // namespace

size_t UsableColumns(std::FILE* stream)
{
    const size_t columns = TerminalColumns(stream);
    return (columns ? columns : kUnknownColumns) - 1;
}

std::string ShortenMiddle(const std::string& text, size_t width)
{
    if (text.size() <= width)
        return text;
    if (width <= kLeftOutLength)
        return text.substr(0, width);
    const size_t kept = width - kLeftOutLength;
    const size_t head = (kept + 1) / 2;
    return text.substr(0, head) + kLeftOut + text.substr(text.size() - (kept - head));
}

std::vector<std::string> WrapWords(const std::string& text, size_t width)
{
    std::vector<std::string> lines;
    if (width == 0)
        return {text};
    std::string line;
    size_t at = 0;
    while (at < text.size()) {
        const size_t space = text.find(' ', at);
        std::string word = text.substr(at, space == std::string::npos ? std::string::npos : space - at);
        at = space == std::string::npos ? text.size() : space + 1;
        if (word.empty())
            continue;
        if (!line.empty() && line.size() + 1 + word.size() > width) {
            lines.push_back(line);
            line.clear();
        }
        while (word.size() > width) {
            const size_t room = line.empty() ? width : width - line.size() - 1;
            lines.push_back(line.empty() ? word.substr(0, room) : line + " " + word.substr(0, room));
            line.clear();
            word.erase(0, room);
        }
        line += (line.empty() ? "" : " ") + word;
    }
    if (!line.empty() || lines.empty())
        lines.push_back(line);
    return lines;
}
