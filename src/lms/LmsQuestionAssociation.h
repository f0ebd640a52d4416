#pragma once

class LmsQuestionActivity;
class LmsQuestionFilter;

// Which activity's questions are drawn, by which filter. Owns the filter.
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
    LmsQuestionActivity* mp_source = nullptr;
    LmsQuestionFilter* mp_filter = nullptr;
};
