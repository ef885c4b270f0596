// Finds an image in a catalog given to the source, or among those the
// program carries.

#include "FirmwareImages.h"

#include <cstring>

bool FindCarriedImage(ModuleHandle module, const char* typeName, uint16_t id, ImageText& image);

bool FindImageText(const ImageSource& source, const char* typeName, uint16_t id, ImageText& image)
{
    if (!source.catalog.images)
        return FindCarriedImage(source.module, typeName, id, image);
    for (uint32_t i = 0; i < source.catalog.count; ++i) {
        const EmbeddedImage& entry = source.catalog.images[i];
        if (entry.id == id && std::strcmp(entry.typeName, typeName) == 0 && entry.text) {
            image = ImageText{entry.text, entry.length};
            return true;
        }
    }
    return false;
}
