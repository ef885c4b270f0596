#pragma once
// Shows how far the update has got: a bar redrawn in place on a terminal,
// one line per step otherwise.

#include "DeviceLink.h"

#include <cstdio>
#include <string>

class ProgressDisplay {
public:
    explicit ProgressDisplay(std::FILE* out);
    void Show(const StageProgress& progress);
    // Ends the current line, if a bar is drawn on it.
    void Finish();

private:
    std::FILE* m_out;
    bool m_bTerminal;
    bool m_bLineOpen = false;
    int m_stage = 0;
    std::string m_step;
};
