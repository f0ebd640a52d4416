#pragma once

#include <QString>

namespace edufrmwk {

// One variant of a question activity for the statistics: the activity's normalised path and one tag.
// Stored flattened as path + "@" + tag.
class QuestionVariant {
public:
    QuestionVariant() = default;
    QuestionVariant(const QString& path, const QString& tag)
        : path(path), tag(tag)
    {
    }
    explicit QuestionVariant(const QString& flat);

    QString flatten() const;
    // Splits at the first "@": everything after it is the tag, which may itself hold "@".
    void unflatten(const QString& flat);
    static bool isFlattened(const QString& flat);

    // Path first, then tag: two different variants never make one key.
    bool operator<(const QuestionVariant& other) const;
    bool operator==(const QuestionVariant& other) const { return path == other.path && tag == other.tag; }

    QString path;
    QString tag;
};

}  // namespace edufrmwk
