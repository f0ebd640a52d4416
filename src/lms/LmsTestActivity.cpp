#include "lms/LmsTestActivity.h"

LmsTestActivity::LmsTestActivity(const QString& name, const QString& fsName, LmsModuleElement* parent)
    : LmsQuestionActivity(name, fsName, parent)
{
}
