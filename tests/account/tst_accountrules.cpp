// The account dialogs' rules without widgets: the settings entries for stored values and back,
// the password checks in their order, and where the profile picture cutter lets a picture go.
#include "account/passwordcheck.h"
#include "account/profilecropgeometry.h"
#include "account/settingstables.h"
#include "store/dbmtdata.h"

#include <QtTest>

// What a failed password check does to the form.
struct CheckOutcome
{
    PasswordCheck::Result result = PasswordCheck::Ok;
    PasswordCheck::Field focus = PasswordCheck::NoField;
    bool clears = false;
    QString message;
    bool operator==(const CheckOutcome& o) const
    {
        return result == o.result && focus == o.focus && clears == o.clears && message == o.message;
    }
};

// The cutter's state after a drag.
struct CropState
{
    QSize scaled;
    bool vertical = false;
    bool moved = false;
    QPoint offset;
    QRect visible;
    bool operator==(const CropState& o) const
    {
        return scaled == o.scaled && vertical == o.vertical && moved == o.moved &&
               offset == o.offset && visible == o.visible;
    }
};
Q_DECLARE_METATYPE(CheckOutcome)
Q_DECLARE_METATYPE(CropState)

namespace QTest {
template <>
char* toString(const CheckOutcome& o)
{
    return qstrdup(qPrintable(QStringLiteral("result=%1 focus=%2 clears=%3 message=%4")
                                  .arg(int(o.result))
                                  .arg(int(o.focus))
                                  .arg(o.clears)
                                  .arg(o.message)));
}
template <>
char* toString(const CropState& s)
{
    return qstrdup(qPrintable(QStringLiteral("scaled=%1x%2 vertical=%3 moved=%4 offset=%5,%6 "
                                             "visible=%7,%8 %9x%10")
                                  .arg(s.scaled.width())
                                  .arg(s.scaled.height())
                                  .arg(s.vertical)
                                  .arg(s.moved)
                                  .arg(s.offset.x())
                                  .arg(s.offset.y())
                                  .arg(s.visible.x())
                                  .arg(s.visible.y())
                                  .arg(s.visible.width())
                                  .arg(s.visible.height())));
}
} // namespace QTest

namespace {
const QString kCurrent = QStringLiteral("Passw0rd!");

CheckOutcome outcome(PasswordCheck::Result result)
{
    return {result, PasswordCheck::focusField(result), PasswordCheck::clearsNewFields(result),
            PasswordCheck::message(result)};
}

// A picture dragged step by step; the state after the last step.
CropState dragged(const QSize& picture, int side, const QVector<QPoint>& steps)
{
    ProfileCropGeometry geometry(picture, side);
    bool moved = false;
    for (const QPoint& step : steps)
        moved = geometry.drag(step);
    return {geometry.scaledSize(), geometry.isVertical(), moved, geometry.offset(),
            geometry.visibleRect()};
}
} // namespace

class TestAccountRules : public QObject
{
    Q_OBJECT
private slots:
    void autoLockEntries_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("minutesOfIndex");
        QTest::newRow("1 minute") << 1 << 0 << 1;
        QTest::newRow("2 minutes") << 2 << 1 << 2;
        QTest::newRow("3 minutes") << 3 << 2 << 3;
        QTest::newRow("5 minutes") << 5 << 3 << 5;
        QTest::newRow("10 minutes") << 10 << 4 << 10;
        QTest::newRow("4 minutes, not offered") << 4 << -1 << 3;
        QTest::newRow("off") << -1 << -1 << 3;
        QTest::newRow("0") << 0 << -1 << 3;
    }
    void autoLockEntries()
    {
        QFETCH(int, stored);
        QFETCH(int, index);
        QFETCH(int, minutesOfIndex);
        QCOMPARE(SettingsTables::autoLockIndex(stored), index);
        QCOMPARE(SettingsTables::autoLockMinutes(index), minutesOfIndex);
    }

    void displayTimeEntries_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("secondsOfIndex");
        QTest::newRow("3 s") << 3 << 0 << 3;
        QTest::newRow("5 s") << 5 << 2 << 5;
        QTest::newRow("8 s") << 8 << 5 << 8;
        QTest::newRow("0 counts as 5") << 0 << 2 << 5;
        QTest::newRow("negative counts as 5") << -4 << 2 << 5;
        QTest::newRow("2 s, not offered") << 2 << -1 << 5;
        QTest::newRow("9 s, not offered") << 9 << -1 << 5;
    }
    void displayTimeEntries()
    {
        QFETCH(int, stored);
        QFETCH(int, index);
        QFETCH(int, secondsOfIndex);
        QCOMPARE(SettingsTables::displayTimeIndex(stored), index);
        QCOMPARE(SettingsTables::displayTimeSeconds(index), secondsOfIndex);
    }

    void alarmTypeEntries_data()
    {
        QTest::addColumn<int>("stored");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("typeOfIndex");
        QTest::newRow("sound") << 0 << 0 << 0;
        QTest::newRow("window") << 1 << 1 << 1;
        QTest::newRow("both") << 2 << 2 << 2;
        QTest::newRow("unknown 3") << 3 << -1 << 2;
        QTest::newRow("unknown -1") << -1 << -1 << 2;
    }
    void alarmTypeEntries()
    {
        QFETCH(int, stored);
        QFETCH(int, index);
        QFETCH(int, typeOfIndex);
        QCOMPARE(SettingsTables::alarmTypeIndex(stored), index);
        QCOMPARE(SettingsTables::alarmType(index), typeOfIndex);
    }

    void passwordChecks_data()
    {
        QTest::addColumn<QString>("oldPassword");
        QTest::addColumn<QString>("newPassword");
        QTest::addColumn<QString>("confirm");
        QTest::addColumn<CheckOutcome>("expected");
        const QString empty("The password is empty.");
        const QString length("The password must be between 9 and 20 characters");
        const QString wrong("Current password is wrong.");
        const QString mismatch("The new password is not match with the confirm new passowrd.");
        using P = PasswordCheck;
        QTest::newRow("all empty names the old field")
            << ""
            << ""
            << "" << CheckOutcome{P::OldEmpty, P::OldField, false, empty};
        QTest::newRow("new empty") << kCurrent << ""
                                   << "x" << CheckOutcome{P::NewEmpty, P::NewField, false, empty};
        QTest::newRow("confirmation empty")
            << kCurrent << "abcdefghi"
            << "" << CheckOutcome{P::ConfirmEmpty, P::ConfirmField, false, empty};
        QTest::newRow("8 characters")
            << kCurrent << "abcdefgh"
            << "abcdefgh" << CheckOutcome{P::BadLength, P::NewField, true, length};
        QTest::newRow("21 characters") << kCurrent << QString(21, 'a') << QString(21, 'a')
                                       << CheckOutcome{P::BadLength, P::NewField, true, length};
        QTest::newRow("9 characters")
            << kCurrent << "abcdefghi"
            << "abcdefghi" << CheckOutcome{P::Ok, P::NoField, false, QString()};
        QTest::newRow("20 characters") << kCurrent << QString(20, 'b') << QString(20, 'b')
                                       << CheckOutcome{P::Ok, P::NoField, false, QString()};
        QTest::newRow("9 Korean characters") << kCurrent << QString::fromUtf8("가나다라마바사아자")
                                             << QString::fromUtf8("가나다라마바사아자")
                                             << CheckOutcome{P::Ok, P::NoField, false, QString()};
        QTest::newRow("20 emoji are 20 characters")
            << kCurrent << QString::fromUtf8("😀").repeated(20)
            << QString::fromUtf8("😀").repeated(20)
            << CheckOutcome{P::Ok, P::NoField, false, QString()};
        QTest::newRow("wrong old password before the mismatch")
            << "Passw0rd?"
            << "abcdefghi"
            << "abcdefghj" << CheckOutcome{P::WrongOld, P::OldField, false, wrong};
        QTest::newRow("mismatch") << kCurrent << "abcdefghi"
                                  << "abcdefghj"
                                  << CheckOutcome{P::Mismatch, P::NewField, false, mismatch};
        QTest::newRow("length before the old password")
            << "Passw0rd?"
            << "short"
            << "short" << CheckOutcome{P::BadLength, P::NewField, true, length};
    }
    void passwordChecks()
    {
        QFETCH(QString, oldPassword);
        QFETCH(QString, newPassword);
        QFETCH(QString, confirm);
        QFETCH(CheckOutcome, expected);
        const PasswordCheck::Result result = PasswordCheck::check(
            oldPassword, newPassword, confirm, DBMTData::passwordDigest(kCurrent));
        QCOMPARE(outcome(result), expected);
    }

    void cropGeometry_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QVector<QPoint>>("steps");
        QTest::addColumn<CropState>("expected");
        QTest::newRow("wide, not moved")
            << QSize(400, 200) << QVector<QPoint>{}
            << CropState{QSize(200, 100), false, false, QPoint(), QRect(0, 0, 100, 100)};
        QTest::newRow("wide, dragged left along its width only")
            << QSize(400, 200) << QVector<QPoint>{{-30, 25}}
            << CropState{QSize(200, 100), false, true, QPoint(-30, 0), QRect(30, 0, 100, 100)};
        QTest::newRow("wide, to its far edge")
            << QSize(400, 200) << QVector<QPoint>{{-100, 0}}
            << CropState{QSize(200, 100), false, true, QPoint(-100, 0), QRect(100, 0, 100, 100)};
        QTest::newRow("wide, past its far edge is ignored")
            << QSize(400, 200) << QVector<QPoint>{{-60, 0}, {-41, 0}}
            << CropState{QSize(200, 100), false, false, QPoint(-60, 0), QRect(60, 0, 100, 100)};
        QTest::newRow("wide, right of its start is ignored")
            << QSize(400, 200) << QVector<QPoint>{{1, 0}}
            << CropState{QSize(200, 100), false, false, QPoint(), QRect(0, 0, 100, 100)};
        QTest::newRow("wide, back after a move")
            << QSize(400, 200) << QVector<QPoint>{{-50, 0}, {20, 0}}
            << CropState{QSize(200, 100), false, true, QPoint(-30, 0), QRect(30, 0, 100, 100)};
        QTest::newRow("tall, dragged up along its height only")
            << QSize(300, 600) << QVector<QPoint>{{-40, -70}}
            << CropState{QSize(100, 200), true, true, QPoint(0, -70), QRect(0, 70, 100, 100)};
        QTest::newRow("tall, past its bottom is ignored")
            << QSize(300, 600) << QVector<QPoint>{{0, -101}}
            << CropState{QSize(100, 200), true, false, QPoint(), QRect(0, 0, 100, 100)};
        QTest::newRow("square cannot move")
            << QSize(500, 500) << QVector<QPoint>{{-10, -10}}
            << CropState{QSize(100, 100), false, false, QPoint(), QRect(0, 0, 100, 100)};
        QTest::newRow("small picture scaled up")
            << QSize(20, 10) << QVector<QPoint>{}
            << CropState{QSize(200, 100), false, false, QPoint(), QRect(0, 0, 100, 100)};
        QTest::newRow("thin picture keeps the view covered")
            << QSize(1000, 999) << QVector<QPoint>{{-1, 0}}
            << CropState{QSize(100, 100), false, false, QPoint(), QRect(0, 0, 100, 100)};
        QTest::newRow("empty picture") << QSize() << QVector<QPoint>{{-1, 0}}
                                       << CropState{QSize(), false, false, QPoint(), QRect()};
    }
    void cropGeometry()
    {
        QFETCH(QSize, picture);
        QFETCH(QVector<QPoint>, steps);
        QFETCH(CropState, expected);
        QCOMPARE(dragged(picture, 100, steps), expected);
    }
};

QTEST_GUILESS_MAIN(TestAccountRules)
#include "tst_accountrules.moc"
