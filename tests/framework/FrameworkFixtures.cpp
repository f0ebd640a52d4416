#include "FrameworkFixtures.h"

#include "framework/UserSession.h"
#include "lms/LmsCourse.h"

#include <sqlite3.h>

using namespace edufrmwk;

OtherProgram::OtherProgram(const QString& file, Hold hold)
{
    EXPECT_EQ(sqlite3_open(file.toUtf8().constData(), &mp_db), SQLITE_OK);
    if (hold == Exclusive) {
        EXPECT_EQ(sqlite3_exec(mp_db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
        return;
    }
    EXPECT_EQ(sqlite3_prepare_v2(mp_db, "SELECT * FROM users", -1, &mp_read, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_step(mp_read), SQLITE_ROW);
}

OtherProgram::~OtherProgram()
{
    sqlite3_finalize(mp_read);
    if (!sqlite3_get_autocommit(mp_db))
        sqlite3_exec(mp_db, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(mp_db);
}

void DatabaseFolder::SetUp()
{
    ASSERT_TRUE(m_dir.isValid());
    m_file = m_dir.filePath(QStringLiteral("Brisola.db"));
    AssertRecorder::clear();
    LogCapture::instance().clear();
}

void OpenDatabase::SetUp()
{
    DatabaseFolder::SetUp();
    ASSERT_EQ(m_db.initialize(m_file), 0);
    m_stats.initialize(&m_db);
    AssertRecorder::clear();
    LogCapture::instance().clear();
}

void OpenDatabase::useCourse(const QString& description)
{
    m_course.reset(new TestCourse(description));
    m_stats.setCourse(m_course->course());
}

void OpenDatabase::login(const QString& description)
{
    useCourse(description);
    m_model.reset(new FrameworkModel(&m_db, &m_stats));
    m_model->setCourse(m_course->course());
    UserInfo* info = nullptr;
    ASSERT_EQ(m_db.getUser(QStringLiteral("user"), &info), 0);
    m_model->setUserSession(new UserSession(info));
}

QString OpenDatabase::storedStates() const
{
    QStringList out;
    for (const QString& item : m_course->states().split(QLatin1Char(' '))) {
        const QString name = item.section(QLatin1Char('='), 0, 0);
        auto state = ElementState::NONE;
        const int rc = const_cast<Database&>(m_db).getElementState(1, (*m_course)[name]->getNormalizedElementPath(),
                                                                   state);
        out << name + QLatin1Char('=') + (rc == 0 ? TestCourse::letter(state) : QStringLiteral("-"));
    }
    return out.join(QLatin1Char(' '));
}

void OpenDatabase::answer(const char* path, const char* tag, std::initializer_list<double> values, int user)
{
    for (double value : values)
        ASSERT_EQ(m_db.saveAnswer(user, {QString::fromUtf8(path), QString::fromUtf8(tag)}, value), 0);
}
