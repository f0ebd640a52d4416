#pragma once

#include <QString>

namespace QsLogging {

// Where finished log lines go. The logger keeps every destination for the whole run.
class Destination {
public:
    virtual ~Destination() = default;
    virtual void write(const QString& message) = 0;
};

}  // namespace QsLogging
