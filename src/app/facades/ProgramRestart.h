#pragma once

#include <functional>

// The restart after a reset of all progress belongs to the application shell, which installs
// the handler at start-up; the facades only ask for it, so they stay testable without a window.
class ProgramRestart {
public:
    using Handler = std::function<void()>;

    static void setHandler(Handler handler);
    static bool hasHandler();
    // Runs the handler; false (with an error line) when none is installed.
    static bool request();
};
