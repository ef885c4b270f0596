#pragma once
// How wide the person's terminal is, and text made to fit it: a redrawn
// line that is wider than the terminal wraps, and the next redraw then
// starts a line too low.

#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

// Columns of the terminal that stream writes to, read afresh at each call
// (a window may be resized at any time); 0 where it is none or says none.
size_t TerminalColumns(std::FILE* stream);

// Columns a redrawn line may fill: one less than the terminal has (the
// Windows console wraps as soon as the last column is written), 80 where
// the terminal does not say.
size_t UsableColumns(std::FILE* stream);

// text in at most width characters: its middle left out ("usb-FTDI...-if00")
// where it is longer.
std::string ShortenMiddle(const std::string& text, size_t width);

// text in lines of at most width characters, broken between words; a word
// longer than a line is broken where the line ends.
std::vector<std::string> WrapWords(const std::string& text, size_t width);
