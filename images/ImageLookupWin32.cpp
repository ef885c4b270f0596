// The images are resources of the executable: found by type name and
// identifier under g_hInstance and read in place.

#include "FirmwareImages.h"

ModuleHandle g_hInstance = nullptr;

bool FindImageText(const char* typeName, uint16_t id, ImageText& image)
{
    HRSRC resource = FindResourceA(g_hInstance, MAKEINTRESOURCEA(id), typeName);
    if (!resource)
        return false;
    HGLOBAL loaded = LoadResource(g_hInstance, resource);
    const DWORD size = SizeofResource(g_hInstance, resource);
    const void* text = LockResource(loaded);
    if (!text)
        return false;
    image = ImageText{static_cast<const char*>(text), size};
    return true;
}
