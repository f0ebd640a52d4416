#pragma once

#include "notation/NotationLayoutSettings.h"
#include "notation/NotationPageFormat.h"
#include "notation/NotationReply.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

class QProcess;
class QThread;

// Client of the notation engine host (a Node.js process running the engine's WebAssembly build).
// Requests are synchronous with a time-out, so a stuck or dead host costs the caller at most that
// long: it is then killed, the request reports an engine error, and the next request starts a fresh
// host. Handles belong to one host; generation() tells which, so none outlives its host.
// GUI thread only: the host process belongs to the thread that started it.
class NotationEngine {
public:
    static NotationEngine& instance();

    // Starts the host unless it runs; false when it cannot (logged). The score layer's engine start.
    bool start();
    bool isRunning() const;
    // Ends the host; its handles become invalid.
    void stop();

    // Off the owner thread (the one that first used the engine) a request is refused at once.
    NotationReply call(const QString& op, const QJsonObject& args = QJsonObject());
    bool onOwnerThread() const;

    // Changes each time a host starts; handles carry the generation they were made in.
    quint64 generation() const { return m_generation; }
    qint64 hostProcessId() const;
    // Milliseconds the last successful start took (process start to the ready line).
    int lastStartMs() const { return m_lastStartMs; }

    void setRequestTimeout(int ms) { m_requestTimeoutMs = ms; }
    int requestTimeout() const { return m_requestTimeoutMs; }
    void setStartTimeout(int ms) { m_startTimeoutMs = ms; }
    // After a failed start, requests fail at once for this long instead of waiting on another start.
    void setRetryDelay(int ms) { m_retryDelayMs = ms; }
    // Overrides the engine directory (tests); empty means NotationResources::engineDirectory().
    void setEngineDirectory(const QString& dir)
    {
        m_engineDirOverride = dir;
        m_failedStartAtMs = -1;
    }

    // Learnt from the host when it starts (defaults before that).
    QString version() const { return m_version; }
    double unitToCm() const { return m_unitToCm; }
    NotationPageFormat defaultPageFormat() const { return m_defaultPageFormat; }
    NotationLayoutSettings defaultLayoutSettings() const { return m_defaultLayout; }

private:
    NotationEngine() = default;
    ~NotationEngine();
    NotationEngine(const NotationEngine&) = delete;
    NotationEngine& operator=(const NotationEngine&) = delete;

    bool startHost();
    // Reads one protocol line within the time left; false on time-out or death.
    bool readLine(QByteArray& line, qint64 deadlineMs);
    void drainStderr();
    void kill(const char* why);

    QThread* mp_ownerThread = nullptr;
    QProcess* mp_process = nullptr;
    QByteArray m_buffer;
    QByteArray m_stderrBuffer;
    quint64 m_generation = 0;
    qint64 m_nextRequestId = 1;
    qint64 m_handleBase = 1;  // the running host's handle ids start here
    int m_requestTimeoutMs = 3000;
    int m_startTimeoutMs = 5000;
    int m_retryDelayMs = 2000;
    qint64 m_failedStartAtMs = -1;
    int m_lastStartMs = -1;
    QString m_engineDirOverride;
    QString m_version;
    double m_unitToCm = 0.00421751756221056;
    NotationPageFormat m_defaultPageFormat{4979.2324f, 7042.0576f, 474.2126f, 474.2126f, 474.2126f, 474.2126f};
    NotationLayoutSettings m_defaultLayout;
};
