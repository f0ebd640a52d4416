#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM and SIGHUP (a logout, a kill from outside) end the program like a closed window, with
// its clean-up and last save. The handler only writes a byte to a socket pair, which is all a
// signal handler may safely do; the main thread reads it and posts a close to the window.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // window: what receives the close (the one the close request watches).
    explicit TerminationSignals(QObject* window, QObject* parent = nullptr);
    ~TerminationSignals() override;

    // False when the socket pair or a handler cannot be set up (then the signals end the program
    // as before, without a last save).
    bool install();

private:
    void readSignal();

    QObject* mp_window;
    QSocketNotifier* mp_notifier = nullptr;
};
