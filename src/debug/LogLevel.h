#pragma once

namespace QsLogging {

enum Level {
    TraceLevel = 0,
    DebugLevel,
    InfoLevel,
    WarnLevel,
    ErrorLevel,
    FatalLevel
};

extern const char TraceString[];
extern const char DebugString[];
extern const char InfoString[];
extern const char WarnString[];
extern const char ErrorString[];
extern const char FatalString[];

}  // namespace QsLogging
