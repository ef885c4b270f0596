#pragma once
// Runs the command-line updater in this process with given arguments and
// input, and keeps what it wrote to stdout and stderr.

#include "CliExit.h"
#include "CliOptions.h"
#include "SingleUpdate.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

struct CliRun {
    int exit;
    std::string out;
    std::string err;
};

// What was written to a scratch file, which it closes.
inline std::string Slurp(std::FILE* file)
{
    std::string text(static_cast<size_t>(std::ftell(file)), '\0');
    std::rewind(file);
    text.resize(std::fread(text.data(), 1, text.size(), file));
    std::fclose(file);
    return text;
}

// Streams a test gives instead of the scratch files: then the run's out is
// not kept, or its input not taken from input.
struct GivenStreams {
    std::FILE* out = nullptr;
    std::FILE* in = nullptr;
    std::FILE* err = nullptr;
};

// Runs an update by default; RunBench runs a bench the same way.
inline CliRun RunCli(const std::vector<std::string>& args, const std::string& input = "", GivenStreams given = {},
                     int (*run)(const CliOptions&, const CliStreams&) = RunSingleUpdate)
{
    std::string error;
    const auto options = ParseCliOptions(args, error);
    EXPECT_TRUE(options) << error;
    if (!options)
        return CliRun{ExitUsage, "", error};
    std::FILE* out = given.out ? given.out : std::tmpfile();
    std::FILE* err = given.err ? given.err : std::tmpfile();
    std::FILE* in = given.in;
    if (!in) {
        in = std::tmpfile();
        std::fputs(input.c_str(), in);
        std::rewind(in);
    }
    const int exit = run(*options, CliStreams{out, err, in});
    if (!given.in)
        std::fclose(in);
    return CliRun{exit, given.out ? "" : Slurp(out), given.err ? "" : Slurp(err)};
}

inline bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Each redrawn piece of what a terminal was sent (from a carriage return
// to the next one or the line's end), escape sequences left out, is
// narrower than columns.
inline bool FitsColumns(const std::string& shown, size_t columns)
{
    std::string piece;
    bool redrawn = false;
    for (size_t i = 0; i <= shown.size(); ++i) {
        if (i < shown.size() && shown[i] == '\033') {
            while (i < shown.size() && !std::isalpha(static_cast<unsigned char>(shown[i])))
                ++i;
        } else if (i == shown.size() || shown[i] == '\r' || shown[i] == '\n') {
            if (redrawn && piece.size() >= columns) {
                ADD_FAILURE() << columns << " columns: " << piece;
                return false;
            }
            redrawn = i < shown.size() && shown[i] == '\r';
            piece.clear();
        } else {
            piece += shown[i];
        }
    }
    return true;
}

// The far end of a pseudo-terminal of this width, for a run's output.
inline std::FILE* TerminalOfWidth(const std::string& path, unsigned short columns)
{
    std::FILE* out = std::fopen(path.c_str(), "w");
    const winsize size{24, columns, 0, 0};
    EXPECT_TRUE(out && ioctl(fileno(out), TIOCSWINSZ, &size) == 0);
    return out;
}

// The lines a terminal of this width shows after it was sent shown, as
// a terminal does it: a line longer than the width goes on in the next,
// ESC[nA moves n lines up, ESC[J clears to the end, ESC[K to the line's end.
inline std::vector<std::string> ScreenLines(const std::string& shown, size_t columns)
{
    std::vector<std::string> lines(1);
    size_t row = 0, column = 0;
    for (size_t i = 0; i < shown.size(); ++i) {
        const char c = shown[i];
        if (c == '\033' && i + 1 < shown.size() && shown[i + 1] == '[') {
            size_t count = 0;
            for (i += 2; i < shown.size() && std::isdigit(static_cast<unsigned char>(shown[i])); ++i)
                count = count * 10 + static_cast<size_t>(shown[i] - '0');
            const char command = i < shown.size() ? shown[i] : ' ';
            if (command == 'A')
                row -= std::min(row, std::max<size_t>(count, 1));
            if (command == 'J')
                lines.resize(row + 1);
            if (command == 'J' || command == 'K')
                lines[row].resize(std::min(column, lines[row].size()));
        } else if (c == '\r') {
            column = 0;
        } else if (c == '\n' || column >= columns) {
            column = 0;
            if (++row == lines.size())
                lines.emplace_back();
            if (c != '\n')
                --i; // the character goes on the next line
        } else {
            if (lines[row].size() <= column)
                lines[row].resize(column + 1, ' ');
            lines[row][column++] = c;
        }
    }
    return lines;
}

// Text a terminal shows as it stands: valid UTF-8 without an escape byte.
inline bool PlainText(const std::string& text)
{
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80           ? 1
                              : (lead >> 5) == 0x6  ? 2
                              : (lead >> 4) == 0xE  ? 3
                              : (lead >> 3) == 0x1E ? 4
                                                    : 0;
        if (lead == 0x1B || length == 0 || i + length > text.size())
            return false;
        for (size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        i += length;
    }
    return true;
}

// A child process that holds a device open with a plain open(), as a
// terminal program would.
struct Holder {
    explicit Holder(const std::string& path)
    {
        pid = fork();
        if (pid == 0) {
            closefrom(3); // none of this process's own ends of the terminal
            open(path.c_str(), O_RDWR | O_NOCTTY);
            pause();
            _exit(0);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    ~Holder()
    {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
    }
    pid_t pid;
};
