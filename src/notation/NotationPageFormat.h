#pragma once

#include <QJsonObject>

// A page format in engine units (the engine converts them with its unit-to-centimetre factor).
struct NotationPageFormat {
    float width = 0.0f;
    float height = 0.0f;
    float marginLeft = 0.0f;
    float marginTop = 0.0f;
    float marginRight = 0.0f;
    float marginBottom = 0.0f;

    QJsonObject toJson() const;
    static NotationPageFormat fromJson(const QJsonObject& json);
    bool operator==(const NotationPageFormat& o) const;
    bool operator!=(const NotationPageFormat& o) const { return !(*this == o); }
};
