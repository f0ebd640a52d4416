#pragma once

#include <QJsonObject>

// The engine's layout settings. Resizing pages to the music is the painter's own flag.
struct NotationLayoutSettings {
    float systemsDistance = 75.0f;
    int systemsDistribution = 1;
    float systemsDistribLimit = 0.25f;
    float force = 750.0f;
    float spring = 1.1f;
    int neighborhoodSpacing = 0;
    int optimalPageFill = 1;
    float proportionalRenderingForceMultiplicator = 0.0f;
    bool checkLyricsCollisions = false;

    QJsonObject toJson() const;
    static NotationLayoutSettings fromJson(const QJsonObject& json);
    bool operator==(const NotationLayoutSettings& o) const;
    bool operator!=(const NotationLayoutSettings& o) const { return !(*this == o); }
};
