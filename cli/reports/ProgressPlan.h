#pragma once
// How long each step of an update is expected to take, from the characters
// it puts on the wire and the fixed pauses it waits out, so that a progress
// bar moves evenly through the whole update.

#include "LinkObserver.h"

#include <cstdint>
#include <optional>

class ProgressPlan {
public:
    ProgressPlan(uint32_t fpgaPages, uint32_t applicationPages);
    // The plan for the images this program carries.
    static ProgressPlan ForCarriedImages();

    // Share of the whole update done once this step has got this far, 0 to 1.
    double Fraction(const StageProgress& progress) const;
    double TotalMs() const { return m_totalMs; }

private:
    struct Step {
        UpdateStage stage;
        UpdateStep step;
        double ms;
    };
    Step m_steps[9];
    double m_totalMs = 0;
};

// The time left of an update, steady: the plan's remaining expected time
// scaled by the pace measured since the start. It does not go up while
// the update goes on at about that pace (a fixed pause met sooner or later
// than planned moves the pace a little), only when it falls well behind.
class TimeLeft {
public:
    explicit TimeLeft(double totalMs) : m_totalS(totalMs / 1000.0) {}
    // Whole seconds left once this fraction of the update is done, after
    // elapsedS seconds.
    int Seconds(double fraction, double elapsedS);

private:
    double m_totalS;
    std::optional<int> m_shown;
};
