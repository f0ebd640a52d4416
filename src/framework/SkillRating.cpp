#include "framework/SkillRating.h"

#include "framework/StatisticsEngine.h"

#include <algorithm>

namespace edufrmwk {

SkillRating::SkillRating(const Database::AnswerMap& newest, int limit, int activities)
    : m_limit(limit)
    , m_activities(activities)
{
    m_variants.reserve(static_cast<size_t>(newest.size()));
    for (auto it = newest.constBegin(); it != newest.constEnd(); ++it)
        m_variants.push_back({it.key(), it.value(), StatisticsEngine::meanCorrectness(it.value())});
}

void SkillRating::add(const QuestionVariant& variant, double correctness)
{
    // Keyed as the table's text is read back: split at its first "@".
    const QuestionVariant key(variant.flatten());
    auto at = std::lower_bound(m_variants.begin(), m_variants.end(), key,
                               [](const Variant& v, const QuestionVariant& k) { return v.key < k; });
    if (at == m_variants.end() || !(at->key == key))
        at = m_variants.insert(at, {key, {}, 0.0});
    Database::Answer answer;
    answer.correctness = Database::storedCorrectness(correctness);
    at->newest.prepend(answer);
    if (m_limit > 0 && at->newest.size() > m_limit)
        at->newest.removeLast();
    at->mean = StatisticsEngine::meanCorrectness(at->newest);
}

int SkillRating::value() const
{
    if (m_activities <= 0)
        return 0;
    double sum = 0.0;
    for (const Variant& v : m_variants)
        sum += v.mean;
    return static_cast<int>((sum / m_activities) * 1000.0);
}

}  // namespace edufrmwk
