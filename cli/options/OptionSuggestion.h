#pragma once
// What to say of an option the program does not know: the nearest one it
// does ("did you mean --device?"), or the ones an abbreviation could mean.

#include <string>
#include <vector>

// typed as given (--devcie, --dev=x); names with their dashes.
std::string UnknownOptionMessage(const std::string& typed, const std::vector<std::string>& names);

// Edits (insert, delete, replace, swap two neighbours) from one text to the other.
size_t EditDistance(const std::string& from, const std::string& to);
