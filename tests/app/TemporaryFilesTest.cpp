#include "app/shell/TemporaryFiles.h"

#include "support/LogCapture.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unistd.h>

namespace {

bool touch(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write("x") == 1;
}

TEST(TemporaryFiles, RemovesOnlyOwnRegularFilesWithTheExactPrefix)
{
    QTemporaryDir tmp;
    ASSERT_TRUE(tmp.isValid());
    QDir dir(tmp.path());
    for (const char* name : {"ruvex_zq_score.x.midi", "ruvex_zq_score.ABC123.midi", "other.txt", "RUVEX_ZQ_upper",
                             "Ruvex_zq_mixed", "xruvex_zq_inside", "ruvex_z"})
        ASSERT_TRUE(touch(dir.filePath(name))) << name;
    ASSERT_TRUE(dir.mkdir("ruvex_zq_dir"));
    ASSERT_TRUE(touch(dir.filePath("ruvex_zq_dir/ruvex_zq_nested")));
    // A link is not followed and not removed, wherever it points.
    ASSERT_TRUE(QFile::link(dir.filePath("other.txt"), dir.filePath("ruvex_zq_link")));
    // Another user's file: only root can make one here.
    const bool asRoot = ::getuid() == 0;
    if (asRoot) {
        ASSERT_TRUE(touch(dir.filePath("ruvex_zq_foreign")));
        ASSERT_EQ(::chown(QFile::encodeName(dir.filePath("ruvex_zq_foreign")).constData(), 65534, 65534), 0);
    }

    LogCapture::instance().clear();
    EXPECT_EQ(TemporaryFiles::cleanup(tmp.path()), 2);
    EXPECT_TRUE(LogCapture::instance().contains("removing 2 temporary files..."));

    QStringList left = dir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    QStringList expected{"RUVEX_ZQ_upper", "Ruvex_zq_mixed", "other.txt", "ruvex_z", "ruvex_zq_dir", "ruvex_zq_link",
                         "xruvex_zq_inside"};
    if (asRoot)
        expected << "ruvex_zq_foreign";
    expected.sort();
    left.sort();
    EXPECT_EQ(left, expected);
    EXPECT_TRUE(QFile::exists(dir.filePath("ruvex_zq_dir/ruvex_zq_nested")));
}

}  // namespace
