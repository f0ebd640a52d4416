#pragma once

#include "lms/LmsQuestionActivity.h"

#include <QPointer>

class LmsQuestionFilter;

// Which activity's questions are drawn, by which filter. Owns the filter; the source is
// watched, so an activity removed from the course reads as no source.
class LmsQuestionAssociation {
public:
    LmsQuestionAssociation() = default;
    ~LmsQuestionAssociation();
    LmsQuestionAssociation(const LmsQuestionAssociation&) = delete;
    LmsQuestionAssociation& operator=(const LmsQuestionAssociation&) = delete;

    LmsQuestionActivity* getSource() const { return mp_source; }
    void setSource(LmsQuestionActivity* source) { mp_source = source; }
    LmsQuestionFilter* getFilter() const { return mp_filter; }
    // Takes ownership; a filter installed before is not deleted (callers set one only once).
    void setFilter(LmsQuestionFilter* filter) { mp_filter = filter; }

    LmsQuestionAssociation* getCopy() const;
    void assign(const LmsQuestionAssociation* other);

private:
    QPointer<LmsQuestionActivity> mp_source;
    LmsQuestionFilter* mp_filter = nullptr;
};
