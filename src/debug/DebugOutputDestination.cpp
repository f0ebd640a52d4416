#include "debug/DebugOutputDestination.h"

#include "debug/QsDebugOutput.h"

namespace QsLogging {

void DebugOutputDestination::write(const QString& message)
{
    QsDebugOutput::output(message);
}

}  // namespace QsLogging
