#include "CliStreams.h"

#include <cctype>
#include <string>

void Prompt(std::FILE* to, const char* question)
{
    std::fputs(question, to);
    std::fflush(to);
}

bool AnswersYes(std::FILE* in)
{
    char line[64];
    if (!std::fgets(line, sizeof line, in))
        return false;
    std::string answer;
    for (const char* c = line; *c; ++c)
        if (!std::isspace(static_cast<unsigned char>(*c)))
            answer += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    return answer == "y" || answer == "yes";
}
