#pragma once

#include "lms/LmsElement.h"

// A leaf of the course tree: a learning page, an exercise or a test.
class LmsActivityElement : public LmsElement {
public:
    enum ActivityType { ActivityTypeNone = 0, ActivityTypeLearning = 1, ActivityTypeExercise = 2, ActivityTypeTest = 3 };

    LmsActivityElement(const QString& name, const QString& fsName, LmsModuleElement* parent);

    int getElementType() const override { return ElementTypeActivity; }
    virtual int getActivityType() const { return ActivityTypeNone; }
};
