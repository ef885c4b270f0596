#include "OptionSuggestion.h"

#include <algorithm>

size_t EditDistance(const std::string& from, const std::string& to)
{
    // Optimal string alignment: Levenshtein with a swap of neighbours as one edit.
    std::vector<std::vector<size_t>> d(from.size() + 1, std::vector<size_t>(to.size() + 1));
    for (size_t i = 0; i <= from.size(); ++i)
        d[i][0] = i;
    for (size_t j = 0; j <= to.size(); ++j)
        d[0][j] = j;
    for (size_t i = 1; i <= from.size(); ++i)
        for (size_t j = 1; j <= to.size(); ++j) {
            const size_t replace = d[i - 1][j - 1] + (from[i - 1] == to[j - 1] ? 0 : 1);
            d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, replace});
            if (i > 1 && j > 1 && from[i - 1] == to[j - 2] && from[i - 2] == to[j - 1])
                d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
    return d[from.size()][to.size()];
}

std::string UnknownOptionMessage(const std::string& typed, const std::vector<std::string>& names)
{
    const std::string option = typed.substr(0, typed.find('='));
    std::vector<std::string> meant;
    for (const std::string& name : names)
        if (name.rfind(option, 0) == 0)
            meant.push_back(name);
    if (meant.size() > 1 && option.size() > 2) {
        std::string text = "'" + option + "' is ambiguous; it could be";
        for (size_t i = 0; i < meant.size(); ++i)
            text += (i == 0 ? " " : i + 1 == meant.size() ? " or " : ", ") + meant[i];
        return text;
    }
    std::string text = "unknown argument '" + typed + "'";
    // The nearest name, where it is near enough to be a slip of the fingers.
    const std::string* nearest = nullptr;
    size_t best = 3;
    for (const std::string& name : names)
        if (const size_t distance = EditDistance(option, name); distance < best && distance * 3 <= name.size()) {
            best = distance;
            nearest = &name;
        }
    return nearest ? text + "; did you mean " + *nearest + "?" : text;
}
