#pragma once
// On POSIX the images are compiled into the program as arrays; this is the
// table the lookup searches in place of the executable's resources.

#include <cstdint>

struct EmbeddedImage {
    const char* typeName;
    uint16_t id;
    const char* text;
    uint32_t length;
};

struct ImageCatalog {
    const EmbeddedImage* images;
    uint32_t count;
};

// The images built into this program.
ImageCatalog BuiltInImages();

// Replaces the table the lookup searches (a program that carries other
// images, or fewer); BuiltInImages() restores it.
void UseImageCatalog(ImageCatalog catalog);
