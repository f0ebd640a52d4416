#include "app/shell/ProgramRelauncher.h"

#include "debug/Debugging.h"

#include <QMessageBox>
#include <QProcess>

bool ProgramRelauncher::relaunch(const std::function<void()>& releaseGuard, const QString& program)
{
    if (releaseGuard)
        releaseGuard();
    if (QProcess::startDetached(program, QStringList()))
        return true;
    LOG_ERROR("zq-main", "failed to restart: could not start %s", qPrintable(program));
    QMessageBox::warning(nullptr, QStringLiteral("Restart failed"),
                         QStringLiteral("The program could not be started again. Please start it yourself."),
                         QMessageBox::Ok);
    return false;
}
