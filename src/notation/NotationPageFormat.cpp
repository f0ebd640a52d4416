#include "notation/NotationPageFormat.h"

QJsonObject NotationPageFormat::toJson() const
{
    return QJsonObject{{"width", width},           {"height", height},         {"marginleft", marginLeft},
                       {"margintop", marginTop},   {"marginright", marginRight}, {"marginbottom", marginBottom}};
}

NotationPageFormat NotationPageFormat::fromJson(const QJsonObject& json)
{
    NotationPageFormat f;
    f.width = float(json.value("width").toDouble());
    f.height = float(json.value("height").toDouble());
    f.marginLeft = float(json.value("marginleft").toDouble());
    f.marginTop = float(json.value("margintop").toDouble());
    f.marginRight = float(json.value("marginright").toDouble());
    f.marginBottom = float(json.value("marginbottom").toDouble());
    return f;
}

bool NotationPageFormat::operator==(const NotationPageFormat& o) const
{
    return width == o.width && height == o.height && marginLeft == o.marginLeft && marginTop == o.marginTop
        && marginRight == o.marginRight && marginBottom == o.marginBottom;
}
