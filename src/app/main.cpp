#include "debug/Debugging.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    Debugging::initialize();
    Debugging::applyLoggingOptions(app.arguments());
    LOG_INFO("zq-main", "Brisola %s", "1.1.525");
    return 0;
}
