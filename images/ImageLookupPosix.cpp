#include "EmbeddedImages.h"
#include "FirmwareImages.h"

#include <cstring>

ModuleHandle g_hInstance = nullptr;

namespace {

ImageCatalog& ActiveCatalog()
{
    static ImageCatalog catalog = BuiltInImages();
    return catalog;
}

} // namespace

void UseImageCatalog(ImageCatalog catalog) { ActiveCatalog() = catalog; }

bool FindImageText(const char* typeName, uint16_t id, ImageText& image)
{
    const ImageCatalog& catalog = ActiveCatalog();
    for (uint32_t i = 0; i < catalog.count; ++i) {
        const EmbeddedImage& entry = catalog.images[i];
        if (entry.id == id && std::strcmp(entry.typeName, typeName) == 0 && entry.text) {
            image = ImageText{entry.text, entry.length};
            return true;
        }
    }
    return false;
}
