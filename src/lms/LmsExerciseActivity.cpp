#include "lms/LmsExerciseActivity.h"

LmsExerciseActivity::LmsExerciseActivity(const QString& name, const QString& fsName, LmsModuleElement* parent)
    : LmsQuestionActivity(name, fsName, parent)
{
}
