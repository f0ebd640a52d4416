#include "debug/DestinationFactory.h"

#include "debug/DebugOutputDestination.h"
#include "debug/FileDestination.h"

namespace QsLogging {

Destination* DestinationFactory::MakeFileDestination(const QString& filePath)
{
    return new FileDestination(filePath);
}

Destination* DestinationFactory::MakeDebugOutputDestination()
{
    return new DebugOutputDestination();
}

}  // namespace QsLogging
