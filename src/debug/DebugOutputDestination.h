#pragma once

#include "debug/Destination.h"

namespace QsLogging {

// The console: standard error.
class DebugOutputDestination : public Destination {
public:
    void write(const QString& message) override;
};

}  // namespace QsLogging
