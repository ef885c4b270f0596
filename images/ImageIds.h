#pragma once
// Identifiers of the four firmware images: their resource ids in both
// Windows programs' resource scripts, and how the code finds them.

#define IDR_BOOTONE 129
#define IDR_BOOTTWO 130
#define IDR_XILINXDATA 131
#define IDR_APPLICATION 132
