#pragma once
// On POSIX the images are compiled into the program as arrays; this is the
// table the lookup searches in place of the executable's resources.

#include "FirmwareImages.h"

// The images built into this program.
ImageCatalog BuiltInImages();
