#include "notation/NotationEngine.h"

#include "debug/Debugging.h"
#include "notation/NotationResources.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

namespace {
const char* kChannel = "notation";

qint64 nowMs()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
}
}

NotationEngine& NotationEngine::instance()
{
    // Never deleted: the host goes with the process (its stdin closes and it exits).
    static NotationEngine* engine = [] {
        auto* e = new NotationEngine;
        e->mp_ownerThread = QThread::currentThread();
        return e;
    }();
    return *engine;
}

bool NotationEngine::onOwnerThread() const
{
    return QThread::currentThread() == mp_ownerThread;
}

NotationEngine::~NotationEngine()
{
    stop();
}

bool NotationEngine::isRunning() const
{
    return mp_process && mp_process->state() == QProcess::Running;
}

qint64 NotationEngine::hostProcessId() const
{
    return isRunning() ? mp_process->processId() : 0;
}

bool NotationEngine::start()
{
    if (!onOwnerThread()) {
        LOG_ERROR(kChannel, "notation engine started off its thread");
        return false;
    }
    if (isRunning())
        return true;
    if (mp_process)
        kill("host not running");
    if (m_failedStartAtMs >= 0 && nowMs() - m_failedStartAtMs < m_retryDelayMs)
        return false;  // a start just failed: fail fast rather than block the caller again
    if (!startHost()) {
        m_failedStartAtMs = nowMs();
        return false;
    }
    m_failedStartAtMs = -1;
    return true;
}

bool NotationEngine::startHost()
{
    const QString dir = m_engineDirOverride.isEmpty() ? NotationResources::engineDirectory() : m_engineDirOverride;
    const QString script = dir + "/" + NotationResources::hostScriptName();
    if (dir.isEmpty() || !QFile::exists(script)) {
        LOG_ERROR(kChannel, "notation engine host not found (%s)", qPrintable(script));
        return false;
    }
    QString node = QStandardPaths::findExecutable("node");
    if (node.isEmpty())
        node = QStandardPaths::findExecutable("nodejs");
    if (node.isEmpty()) {
        LOG_ERROR(kChannel, "Node.js not found; the notation engine cannot start");
        return false;
    }

    const qint64 t0 = nowMs();
    mp_process = new QProcess;
    mp_process->setProcessChannelMode(QProcess::SeparateChannels);
    // Each host numbers its handles from its own base, so a handle of an ended host is recognised.
    m_handleBase = qint64(m_generation + 1) * 1000000 + 1;
    mp_process->start(node, {script, dir, QString::number(m_handleBase)});
    if (!mp_process->waitForStarted(m_startTimeoutMs)) {
        LOG_ERROR(kChannel, "notation engine host did not start: %s", qPrintable(mp_process->errorString()));
        kill("start failed");
        return false;
    }
    ++m_generation;
    m_buffer.clear();
    QByteArray line;
    if (!readLine(line, t0 + m_startTimeoutMs)) {
        LOG_ERROR(kChannel, "notation engine host gave no ready line within %d ms", m_startTimeoutMs);
        kill("no ready line");
        return false;
    }
    const QJsonObject ready = QJsonDocument::fromJson(line).object();
    if (!ready.value("ready").toBool()) {
        LOG_ERROR(kChannel, "notation engine host: unexpected first line %s", line.constData());
        kill("bad ready line");
        return false;
    }
    m_version = ready.value("version").toString();
    m_unitToCm = ready.value("unitToCm").toDouble(m_unitToCm);
    m_defaultPageFormat = NotationPageFormat::fromJson(ready.value("pageFormat").toObject());
    m_defaultLayout = NotationLayoutSettings::fromJson(ready.value("layout").toObject());
    m_lastStartMs = int(nowMs() - t0);
    LOG_INFO(kChannel, "notation engine %s started in %d ms (pid %lld)", qPrintable(m_version), m_lastStartMs,
             mp_process->processId());
    return true;
}

void NotationEngine::stop()
{
    if (mp_process)
        kill("stopped");
    m_failedStartAtMs = -1;  // an explicit stop or start begins afresh
}

void NotationEngine::kill(const char* why)
{
    if (!mp_process)
        return;
    drainStderr();
    if (mp_process->state() != QProcess::NotRunning) {
        if (qstrcmp(why, "stopped") == 0)
            LOG_INFO(kChannel, "ending notation engine host (pid %lld)", mp_process->processId());
        else
            LOG_WARN(kChannel, "ending notation engine host (pid %lld): %s", mp_process->processId(), why);
        mp_process->kill();
        mp_process->waitForFinished(1000);
    }
    delete mp_process;
    mp_process = nullptr;
    m_buffer.clear();
    // Any later host is a new generation; handles of this one are gone with it.
    ++m_generation;
}

void NotationEngine::drainStderr()
{
    if (!mp_process)
        return;
    m_stderrBuffer += mp_process->readAllStandardError();
    int nl;
    while ((nl = m_stderrBuffer.indexOf('\n')) >= 0) {
        const QByteArray text = m_stderrBuffer.left(nl).trimmed();
        m_stderrBuffer.remove(0, nl + 1);
        if (!text.isEmpty())
            LOG_DEBUG(kChannel, "engine: %s", text.constData());
    }
}

bool NotationEngine::readLine(QByteArray& line, qint64 deadlineMs)
{
    for (;;) {
        const int nl = m_buffer.indexOf('\n');
        if (nl >= 0) {
            line = m_buffer.left(nl);
            m_buffer.remove(0, nl + 1);
            return true;
        }
        if (!mp_process || mp_process->state() != QProcess::Running)
            return false;
        const qint64 left = deadlineMs - nowMs();
        if (left <= 0)
            return false;
        if (mp_process->waitForReadyRead(int(left)))
            m_buffer += mp_process->readAllStandardOutput();
        else if (mp_process->state() == QProcess::Running && deadlineMs - nowMs() > 0)
            m_buffer += mp_process->readAllStandardOutput();  // woken by stderr only
        drainStderr();
    }
}

NotationReply NotationEngine::call(const QString& op, const QJsonObject& args)
{
    NotationReply reply;
    if (!onOwnerThread()) {
        // The host process belongs to its thread; using it from another is not safe.
        reply.error = QStringLiteral("notation engine used off its thread");
        LOG_ERROR(kChannel, "%s (op %s)", qPrintable(reply.error), qPrintable(op));
        return reply;
    }
    if (!isRunning()) {
        if (mp_process)
            LOG_ERROR(kChannel, "notation engine host died (exit code %d); restarting", mp_process->exitCode());
        if (!start()) {
            reply.error = QStringLiteral("notation engine unavailable");
            return reply;
        }
    }
    for (const char* key : {"ar", "gr"}) {
        const QJsonValue handle = args.value(QLatin1String(key));
        if (handle.isDouble() && qint64(handle.toDouble()) < m_handleBase) {
            reply.status = NotationReply::Refused;
            reply.error = QStringLiteral("stale %1 handle %2 (its host has ended)").arg(key).arg(qint64(handle.toDouble()));
            LOG_WARN(kChannel, "%s (op %s)", qPrintable(reply.error), qPrintable(op));
            return reply;
        }
    }
    const qint64 id = m_nextRequestId++;
    QJsonObject request = args;
    request.insert("id", id);
    request.insert("op", op);
    QByteArray bytes = QJsonDocument(request).toJson(QJsonDocument::Compact);
    bytes.append('\n');
    const qint64 deadline = nowMs() + m_requestTimeoutMs;
    if (mp_process->write(bytes) != bytes.size()) {
        kill("write failed");
        reply.error = QStringLiteral("notation engine host: write failed");
        LOG_ERROR(kChannel, "%s (op %s)", qPrintable(reply.error), qPrintable(op));
        return reply;
    }
    for (;;) {
        QByteArray line;
        if (!readLine(line, deadline)) {
            const bool died = !mp_process || mp_process->state() != QProcess::Running;
            reply.error = died ? QStringLiteral("notation engine host died")
                               : QStringLiteral("notation engine host timed out after %1 ms").arg(m_requestTimeoutMs);
            LOG_ERROR(kChannel, "%s (op %s)", qPrintable(reply.error), qPrintable(op));
            kill(died ? "died" : "timed out");
            return reply;
        }
        const QJsonObject answer = QJsonDocument::fromJson(line).object();
        if (answer.value("id").toVariant().toLongLong() != id) {
            LOG_WARN(kChannel, "notation engine host: ignoring unexpected line %s", line.left(200).constData());
            continue;
        }
        reply.data = answer;
        if (answer.value("ok").toBool()) {
            reply.status = NotationReply::Ok;
        } else if (answer.value("fatal").toBool()) {
            // The engine aborted; its host is ending, and the next request starts a fresh one.
            reply.error = answer.value("error").toString();
            LOG_ERROR(kChannel, "%s (op %s)", qPrintable(reply.error), qPrintable(op));
            kill("engine aborted");
        } else {
            reply.status = NotationReply::Refused;
            reply.error = answer.value("error").toString();
            reply.line = answer.value("line").toInt(-1);
            reply.column = answer.value("col").toInt(-1);
        }
        return reply;
    }
}
