#include "PageToken.h"

#include <sys/random.h>

#include <cerrno>

bool SystemRandomBytes(std::array<uint8_t, 16>& bytes)
{
    size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = getrandom(bytes.data() + filled, bytes.size() - filled, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        filled += static_cast<size_t>(got);
    }
    return true;
}
