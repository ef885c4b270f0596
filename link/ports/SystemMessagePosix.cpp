#include "SystemMessage.h"

#include <cstring>

std::string SystemMessage(int error)
{
    char text[256] = {};
    // strerror itself is not safe on the bench's threads.
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
    return strerror_r(error, text, sizeof text);
#else
    return strerror_r(error, text, sizeof text) == 0 ? text : "error " + std::to_string(error);
#endif
}
