#pragma once
// The page's files (res/web: HTML, CSS, JavaScript), built into the program
// so that the page loads nothing from anywhere else.

#include <cstddef>
#include <string>

struct PageAsset {
    const char* path; // "/index.html"
    const char* type; // its Content-Type
    const unsigned char* bytes;
    size_t size;
};

// The file a GET of path serves ("/" is the page itself); nullptr for none.
const PageAsset* FindPageAsset(const std::string& path);
