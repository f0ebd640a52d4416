#pragma once

#include "lms/LmsQuestionActivity.h"

class LmsTestActivity : public LmsQuestionActivity {
public:
    LmsTestActivity(const QString& name, const QString& fsName, LmsModuleElement* parent);

    int getActivityType() const override { return ActivityTypeTest; }
};
