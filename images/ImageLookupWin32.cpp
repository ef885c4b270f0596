// The images are resources of the executable: found by type name and
// identifier under the given module and read in place.

#include "FirmwareImages.h"

bool FindCarriedImage(ModuleHandle module, const char* typeName, uint16_t id, ImageText& image)
{
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(id), typeName);
    if (!resource)
        return false;
    HGLOBAL loaded = LoadResource(module, resource);
    const DWORD size = SizeofResource(module, resource);
    const void* text = LockResource(loaded);
    if (!text)
        return false;
    image = ImageText{static_cast<const char*>(text), size};
    return true;
}
