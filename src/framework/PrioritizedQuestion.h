#pragma once

#include "framework/QuestionVariant.h"

namespace edufrmwk {

// A variant with its practice priority: 1.0 minus its mean correctness.
struct PrioritizedQuestion {
    QuestionVariant variant;
    double priority = 0.0;

    bool operator<(const PrioritizedQuestion& other) const { return priority < other.priority; }
};

}  // namespace edufrmwk
