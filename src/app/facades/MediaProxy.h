#pragma once

#include <QObject>
#include <QString>

// Plays one sound file for QML through the sound-file player, holding one level of the
// interaction lock while it plays.
class MediaProxy : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool playing READ playing NOTIFY playingChanged)
    Q_PROPERTY(int duration READ duration NOTIFY durationChanged)
public:
    explicit MediaProxy(QObject* parent = nullptr);
    // A page unloaded mid-sound: the sound stops and the lock level goes with it.
    ~MediaProxy() override;

    bool playing() const { return m_playing; }
    int duration() const { return m_duration; }

public slots:
    void playFile(const QString& path, double offset = 0.0, double duration = 0.0);
    void stop();

signals:
    void playingChanged();
    void durationChanged();

private slots:
    void finished();

private:
    bool m_playing = false;
    int m_duration = 0;
};
