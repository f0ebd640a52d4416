// What the score and exercise benchmarks share: typical generated questions and the median.
#pragma once

#include <QRandomGenerator>
#include <QString>

#include <algorithm>
#include <vector>

// A question of the given bars in 4/4 with quarters, eighth pairs, a dotted rhythm and a rest now
// and then; tags go after the meter and key.
inline QString benchQuestion(QRandomGenerator& random, int bars, const QString& tags = QString())
{
    static const char* const names[] = {"c", "d", "e", "f", "g", "a", "b"};
    QString code = "[ \\meter<\"4/4\"> \\key<0> " + tags;
    for (int bar = 0; bar < bars; ++bar) {
        for (int beat = 0; beat < 4; ++beat) {
            const auto note = [&] { return QString(names[random.bounded(7)]) + "1"; };
            switch (random.bounded(4)) {
            case 0:
                code += note() + "/8 " + note() + "/8 ";
                break;
            case 1:
                code += beat < 3 ? note() + "/4. " + note() + "/8 " : note() + "/4 ";
                beat += beat < 3;
                break;
            case 2:
                code += random.bounded(4) == 0 ? "_/4 " : note() + "/4 ";
                break;
            default:
                code += note() + "/4 ";
            }
        }
        code += bar + 1 < bars ? "| " : "]";
    }
    return code;
}

inline double benchMedian(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}
