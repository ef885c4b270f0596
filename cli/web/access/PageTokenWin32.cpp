#include "PageToken.h"

#include <windows.h>

#include <bcrypt.h>

bool SystemRandomBytes(std::array<uint8_t, 16>& bytes)
{
    return BCryptGenRandom(nullptr, bytes.data(), static_cast<ULONG>(bytes.size()), BCRYPT_USE_SYSTEM_PREFERRED_RNG) ==
           0;
}
