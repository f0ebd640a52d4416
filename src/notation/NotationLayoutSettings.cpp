#include "notation/NotationLayoutSettings.h"

QJsonObject NotationLayoutSettings::toJson() const
{
    return QJsonObject{{"systemsDistance", systemsDistance},
                       {"systemsDistribution", systemsDistribution},
                       {"systemsDistribLimit", systemsDistribLimit},
                       {"force", force},
                       {"spring", spring},
                       {"neighborhoodSpacing", neighborhoodSpacing},
                       {"optimalPageFill", optimalPageFill},
                       {"proportionalRenderingForceMultiplicator", proportionalRenderingForceMultiplicator},
                       {"checkLyricsCollisions", checkLyricsCollisions}};
}

NotationLayoutSettings NotationLayoutSettings::fromJson(const QJsonObject& json)
{
    NotationLayoutSettings s;
    s.systemsDistance = float(json.value("systemsDistance").toDouble(s.systemsDistance));
    s.systemsDistribution = json.value("systemsDistribution").toInt(s.systemsDistribution);
    s.systemsDistribLimit = float(json.value("systemsDistribLimit").toDouble(s.systemsDistribLimit));
    s.force = float(json.value("force").toDouble(s.force));
    s.spring = float(json.value("spring").toDouble(s.spring));
    s.neighborhoodSpacing = json.value("neighborhoodSpacing").toInt(s.neighborhoodSpacing);
    s.optimalPageFill = json.value("optimalPageFill").toInt(s.optimalPageFill);
    s.proportionalRenderingForceMultiplicator = float(
        json.value("proportionalRenderingForceMultiplicator").toDouble(s.proportionalRenderingForceMultiplicator));
    s.checkLyricsCollisions = json.value("checkLyricsCollisions").toBool(s.checkLyricsCollisions);
    return s;
}

bool NotationLayoutSettings::operator==(const NotationLayoutSettings& o) const
{
    return toJson() == o.toJson();
}
