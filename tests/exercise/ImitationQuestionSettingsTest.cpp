#include "exercise/ImitationQuestionSettings.h"

#include "support/AssertRecorder.h"
#include "support/LogCapture.h"

#include <gtest/gtest.h>

// Reading the exercise's settings map: conversions and the first failure ending the read.

namespace {

QVariantMap fullMap()
{
    return {{"playbackMetronomeCountIn", true}, {"playbackMetronome", "true"}, {"captureMetronomeCountIn", 1},
            {"captureMetronome", false},       {"capturePlayback", true},     {"captureType", "2"}};
}

QList<int> fields(const ImitationQuestionSettings& s)
{
    return {s.playbackMetronomeCountIn, s.playbackMetronome, s.captureMetronomeCountIn, s.captureMetronome,
            s.capturePlayback, s.captureType};
}

} // namespace

TEST(ImitationQuestionSettingsTest, ReadsAndConverts)
{
    const QVariantMap map = fullMap();
    ImitationQuestionSettings settings(&map);
    EXPECT_EQ(fields(settings), QList<int>({0, 0, 0, 0, 0, 0}));
    EXPECT_TRUE(settings.load());
    EXPECT_EQ(fields(settings), QList<int>({1, 1, 1, 0, 1, 2}));
}

TEST(ImitationQuestionSettingsTest, FirstFailureEndsTheRead)
{
    struct Row {
        const char* key;
        QVariant value;  // invalid: the key is removed
        const char* line;
        QList<int> fields;
    };
    const QList<Row> rows = {
        {"captureType", QVariant(), "invalid attribute \"captureType\"", {1, 1, 1, 0, 1, 0}},
        {"captureMetronomeCountIn", QVariant(QVariant::Bool), "null attribute \"captureMetronomeCountIn\"",
         {1, 1, 0, 0, 0, 0}},
        {"playbackMetronome", QVariantList{1, 2}, "cannot convert \"playbackMetronome\" to bool", {1, 0, 0, 0, 0, 0}},
        {"captureType", QVariantMap{{"a", 1}}, "cannot convert \"captureType\" to int", {1, 1, 1, 0, 1, 0}},
    };
    for (const Row& row : rows) {
        QVariantMap map = fullMap();
        if (row.value.isValid())
            map.insert(row.key, row.value);
        else
            map.remove(row.key);
        LogCapture::instance().clear();
        ImitationQuestionSettings settings(&map);
        EXPECT_FALSE(settings.load()) << row.key;
        EXPECT_TRUE(LogCapture::instance().contains(row.line)) << row.line;
        EXPECT_EQ(fields(settings), row.fields) << row.line;
    }
}

TEST(ImitationQuestionSettingsTest, NullMapAndTypeNames)
{
    AssertRecorder::clear();
    ImitationQuestionSettings settings(nullptr);
    EXPECT_EQ(AssertRecorder::expressions(), QStringList({"settingsMap"}));
    EXPECT_FALSE(settings.load());
    EXPECT_EQ(QStringList({ImitationQuestionSettings::captureTypeName(0), ImitationQuestionSettings::captureTypeName(1),
                           ImitationQuestionSettings::captureTypeName(2), ImitationQuestionSettings::captureTypeName(3),
                           ImitationQuestionSettings::captureTypeName(4)}),
              QStringList({"none", "rhythm", "pitch", "rhythm_and_pitch", ""}));
}
