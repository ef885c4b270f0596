#pragma once
// What an adapter may not carry, and what it costs: a version answer that
// came garbled (the driver may not do parity), an FTDI latency timer left
// high on Windows, and a Linux driver that did not take low latency.

#include "PortList.h"

#include <cstdint>
#include <string>
#include <vector>

// Bytes came, but no version frame: what the line delivered was garbled.
bool IsGarbledAnswer(const std::vector<uint8_t>& reply);

// The adapter or its driver may not do parity, and the update needs none:
// one sentence, without a line end. The driver is the one discovery named
// ("" where it named none).
std::string NoParityAdvice(const std::string& driver);

// For a garbled answer: NoParityAdvice, after what came. The driver as there.
std::string ParityHint(const std::string& driver);

// For a version query that got no answer at all: what that can mean. The
// driver as for ParityHint.
std::string NoAnswerHint(const std::string& driver);

// One line for an FTDI adapter whose latency timer is above 2 ms: what it
// costs the update and where to lower it; "" otherwise.
std::string LatencyAdvice(const PortInfo& port);

// The driver did not take low latency.
std::string LowLatencyNote(const std::string& portName);
