#include "lms/LmsQuestionAssociation.h"

#include "lms/LmsQuestionFilter.h"

LmsQuestionAssociation::~LmsQuestionAssociation()
{
    delete mp_filter;
}

LmsQuestionAssociation* LmsQuestionAssociation::getCopy() const
{
    auto* copy = new LmsQuestionAssociation();
    copy->mp_source = mp_source;
    copy->mp_filter = mp_filter ? mp_filter->getCopy() : nullptr;
    return copy;
}

void LmsQuestionAssociation::assign(const LmsQuestionAssociation* other)
{
    if (!other || other == this)
        return;
    mp_source = other->mp_source;
    delete mp_filter;
    mp_filter = other->mp_filter ? other->mp_filter->getCopy() : nullptr;
}
