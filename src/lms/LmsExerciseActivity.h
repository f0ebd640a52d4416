#pragma once

#include "lms/LmsQuestionActivity.h"

class LmsExerciseActivity : public LmsQuestionActivity {
public:
    LmsExerciseActivity(const QString& name, const QString& fsName, LmsModuleElement* parent);

    int getActivityType() const override { return ActivityTypeExercise; }
};
