#pragma once

#include <QString>

namespace QsLogging {

class Destination;

class DestinationFactory {
public:
    static Destination* MakeFileDestination(const QString& filePath);
    static Destination* MakeDebugOutputDestination();
};

}  // namespace QsLogging
