#pragma once

#include "framework/Database.h"

#include <QList>

#include <vector>

namespace edufrmwk {

// The overall skill rating: the mean of the newest answers of every variant, summed over the
// variants and spread over the course's question activities. Read from the answers once, it follows
// the answers saved after that without reading the table again, and gives the same value a read of
// the table would give.
class SkillRating {
public:
    SkillRating() = default;
    // newest: the newest `limit` answers of every variant, newest first, as Database::getAnswers
    // gives them; activities: the course's question activities (none: the rating is 0).
    SkillRating(const Database::AnswerMap& newest, int limit, int activities);

    // An answer just saved: the newest of its variant.
    void add(const QuestionVariant& variant, double correctness);
    int value() const;

private:
    struct Variant {
        QuestionVariant key;
        QList<Database::Answer> newest;
        double mean = 0.0;
    };
    // In the answer map's key order: the means are summed in the order a read of the table sums them.
    std::vector<Variant> m_variants;
    int m_limit = 0;
    int m_activities = 0;
};

}  // namespace edufrmwk
