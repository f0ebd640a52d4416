#pragma once

#include <QObject>
#include <QString>
#include <QVector>

#include <csignal>

class QSocketNotifier;

// SIGTERM and SIGHUP (a logout, a kill from outside) end the program like a closed window, with
// its clean-up and last save. The handler only writes a byte to a socket pair, which is all a
// signal handler may safely do; the main thread reads it and posts a close to the window.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    // window: what receives the close (the one the close request watches); numbers: the signals
    // that close it.
    explicit TerminationSignals(QObject* window, QObject* parent = nullptr,
                                const QVector<int>& numbers = {SIGTERM, SIGHUP});
    ~TerminationSignals() override;

    // False when the socket pair or the handler of any of the signals cannot be set up; error()
    // says what failed. A signal without the handler ends the program as before, without a last
    // save; those that got it keep it.
    bool install();
    QString error() const { return m_error; }
    // A signal came: the close it asks for has no one to answer a dialog.
    bool received() const { return m_received; }

private:
    void readSignal();

    QObject* mp_window;
    QVector<int> m_numbers;
    // The signals whose handler is ours, given back to the default at the end.
    QVector<int> m_handled;
    QSocketNotifier* mp_notifier = nullptr;
    QString m_error;
    bool m_received = false;
};
