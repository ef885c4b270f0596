#pragma once
// The remembered port: one machine-wide registry value of 4 bytes.

#include <cstdint>

// The stored port number; 1 when the key or value is missing. Whatever the
// value holds is taken as it is (its bytes over a 1), without checking.
uint32_t ReadRememberedPort();
// Stores the port; failures (no rights on the machine-wide root) go unreported.
void StoreRememberedPort(uint32_t port);
