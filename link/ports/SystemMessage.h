#pragma once
// The system's own words for an error number: errno on POSIX, GetLastError()
// or WSAGetLastError() on Windows. One line, as the system words it.

#include <string>

std::string SystemMessage(int error);
