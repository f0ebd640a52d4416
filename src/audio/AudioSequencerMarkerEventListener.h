#pragma once

#include <QObject>

// Turns a posted marker event into newMarker(id, time).
class AudioSequencerMarkerEventListener : public QObject {
    Q_OBJECT
public:
    explicit AudioSequencerMarkerEventListener(QObject* parent = nullptr) : QObject(parent) {}

    virtual void newMarker(int id, double time) = 0;
    bool event(QEvent* e) override;
};
