#include "exercise/ImitationQuestionSettings.h"

#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

// Reading the exercise's settings map: conversions, and the first failure ending the read.

namespace {

QList<int> fields(const ImitationQuestionSettings& s)
{
    return {s.playbackMetronomeCountIn, s.playbackMetronome, s.captureMetronomeCountIn, s.captureMetronome,
            s.capturePlayback, s.captureType};
}

} // namespace

TEST(ImitationQuestionSettingsTest, ReadUntilTheFirstFailure)
{
    const QVariantMap full = {{"playbackMetronomeCountIn", true}, {"playbackMetronome", "true"},
                              {"captureMetronomeCountIn", 1},     {"captureMetronome", false},
                              {"capturePlayback", true},          {"captureType", "2"}};
    // key changed (an invalid value removes it), the line logged, the fields read
    const QList<std::tuple<QString, QVariant, QString, QList<int>>> rows = {
        {"", QVariant(), "", {1, 1, 1, 0, 1, 2}},
        {"captureType", QVariant(), "invalid attribute \"captureType\"", {1, 1, 1, 0, 1, 0}},
        {"captureMetronomeCountIn", QVariant(QVariant::Bool), "null attribute \"captureMetronomeCountIn\"",
         {1, 1, 0, 0, 0, 0}},
        {"playbackMetronome", QVariantList{1, 2}, "cannot convert \"playbackMetronome\" to bool", {1, 0, 0, 0, 0, 0}},
        {"captureType", QVariantMap{{"a", 1}}, "cannot convert \"captureType\" to int", {1, 1, 1, 0, 1, 0}},
    };
    for (const auto& [key, value, line, expected] : rows) {
        QVariantMap map = full;
        if (value.isValid())
            map.insert(key, value);
        else
            map.remove(key);
        LogCapture::instance().clear();
        ImitationQuestionSettings settings(&map);
        EXPECT_EQ(settings.load(), line.isEmpty()) << key.toStdString();
        EXPECT_TRUE(line.isEmpty() || LogCapture::instance().contains(line)) << line.toStdString();
        EXPECT_EQ(fields(settings), expected) << key.toStdString();
    }

    AssertRecorder::clear();
    ImitationQuestionSettings none(nullptr);
    EXPECT_EQ(AssertRecorder::expressions(), QStringList({"settingsMap"}));
    EXPECT_FALSE(none.load());
}
