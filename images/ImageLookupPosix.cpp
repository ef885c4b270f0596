// The images this program carries are the table compiled into it.

#include "EmbeddedImages.h"

bool FindImageText(const ImageSource& source, const char* typeName, uint16_t id, ImageText& image);

bool FindCarriedImage(ModuleHandle, const char* typeName, uint16_t id, ImageText& image)
{
    return FindImageText(ImageSource{nullptr, BuiltInImages()}, typeName, id, image);
}
