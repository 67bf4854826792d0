// The account dialogs' rules without widgets: the password checks and the picture cutter.
#include "account/passwordcheck.h"
#include "account/profilecropgeometry.h"
#include "store/dbmtdata.h"

#include "common/typed.h"

#include <QtTest>

namespace {
const QString kCurrent = QStringLiteral("Passw0rd!");

// What a password check decides for the form.
struct CheckOutcome
{
    PasswordCheck::Result result = PasswordCheck::Ok;
    PasswordCheck::Field focus = PasswordCheck::NoField;
    bool clears = false;
    bool told = false; // a message for the user
    MT_TYPED(CheckOutcome, result, focus, clears, told)
};
struct Check
{
    QString oldPassword, newPassword, confirm;
    CheckOutcome expected;
};

// The cutter's state after a drag.
struct CropState
{
    QSize scaled;
    bool vertical = false, moved = false;
    QPoint offset;
    QRect visible;
    MT_TYPED(CropState, scaled, vertical, moved, offset, visible)
};
} // namespace

Q_DECLARE_METATYPE(Check)
Q_DECLARE_METATYPE(CropState)

class TestAccountRules : public QObject
{
    Q_OBJECT
private slots:
    void passwordChecks_data()
    {
        QTest::addColumn<Check>("row");
        using P = PasswordCheck;
        const CheckOutcome ok{P::Ok, P::NoField, false, false};
        const CheckOutcome badLength{P::BadLength, P::NewField, true, true};
        const QString a9("abcdefghi");
        const QString emoji20 = QString::fromUtf8("😀").repeated(20);
        QTest::newRow("all empty names the old field")
            << Check{"", "", "", {P::OldEmpty, P::OldField, false, true}};
        QTest::newRow("new empty")
            << Check{kCurrent, "", "x", {P::NewEmpty, P::NewField, false, true}};
        QTest::newRow("confirmation empty")
            << Check{kCurrent, a9, "", {P::ConfirmEmpty, P::ConfirmField, false, true}};
        QTest::newRow("8 characters") << Check{kCurrent, "abcdefgh", "abcdefgh", badLength};
        QTest::newRow("21 characters")
            << Check{kCurrent, QString(21, 'a'), QString(21, 'a'), badLength};
        QTest::newRow("9 characters") << Check{kCurrent, a9, a9, ok};
        QTest::newRow("20 characters") << Check{kCurrent, QString(20, 'b'), QString(20, 'b'), ok};
        QTest::newRow("20 emoji are 20 characters") << Check{kCurrent, emoji20, emoji20, ok};
        QTest::newRow("wrong old password before the mismatch")
            << Check{"Passw0rd?", a9, "abcdefghj", {P::WrongOld, P::OldField, false, true}};
        QTest::newRow("mismatch") << Check{
            kCurrent, a9, "abcdefghj", {P::Mismatch, P::NewField, false, true}};
        QTest::newRow("length before the old password")
            << Check{"Passw0rd?", "short", "short", badLength};
    }
    void passwordChecks()
    {
        QFETCH(Check, row);
        const PasswordCheck::Result result = PasswordCheck::check(
            row.oldPassword, row.newPassword, row.confirm, DBMTData::passwordDigest(kCurrent));
        QCOMPARE((CheckOutcome{result, PasswordCheck::focusField(result),
                               PasswordCheck::clearsNewFields(result),
                               !PasswordCheck::message(result).isEmpty()}),
                 row.expected);
    }

    // The picture covers the 100-pixel view and moves only along its longer side.
    void cropGeometry_data()
    {
        QTest::addColumn<QSize>("picture");
        QTest::addColumn<QVector<QPoint>>("steps");
        QTest::addColumn<CropState>("expected");
        const QSize wide(400, 200);
        const QSize wideScaled(200, 100);
        const QRect first(0, 0, 100, 100);
        QTest::newRow("wide, dragged left along its width only")
            << wide << QVector<QPoint>{{-30, 25}}
            << CropState{wideScaled, false, true, QPoint(-30, 0), QRect(30, 0, 100, 100)};
        QTest::newRow("wide, to its far edge")
            << wide << QVector<QPoint>{{-100, 0}}
            << CropState{wideScaled, false, true, QPoint(-100, 0), QRect(100, 0, 100, 100)};
        QTest::newRow("wide, past its far edge is ignored")
            << wide << QVector<QPoint>{{-60, 0}, {-41, 0}}
            << CropState{wideScaled, false, false, QPoint(-60, 0), QRect(60, 0, 100, 100)};
        QTest::newRow("wide, right of its start is ignored")
            << wide << QVector<QPoint>{{1, 0}}
            << CropState{wideScaled, false, false, QPoint(), first};
        QTest::newRow("tall, past its bottom is ignored")
            << QSize(300, 600) << QVector<QPoint>{{0, -101}}
            << CropState{QSize(100, 200), true, false, QPoint(), first};
        QTest::newRow("small picture scaled up")
            << QSize(20, 10) << QVector<QPoint>{} << CropState{wideScaled, false, false, {}, first};
        QTest::newRow("thin picture keeps the view covered")
            << QSize(1000, 999) << QVector<QPoint>{{-1, 0}}
            << CropState{QSize(100, 100), false, false, QPoint(), first};
        QTest::newRow("empty picture") << QSize() << QVector<QPoint>{{-1, 0}}
                                       << CropState{QSize(), false, false, QPoint(), QRect()};
    }
    void cropGeometry()
    {
        QFETCH(QSize, picture);
        QFETCH(QVector<QPoint>, steps);
        QFETCH(CropState, expected);
        ProfileCropGeometry geometry(picture, 100);
        bool moved = false;
        for (const QPoint& step : steps)
            moved = geometry.drag(step);
        QCOMPARE((CropState{geometry.scaledSize(), geometry.isVertical(), moved, geometry.offset(),
                            geometry.visibleRect()}),
                 expected);
    }
};

QTEST_GUILESS_MAIN(TestAccountRules)
#include "tst_accountrules.moc"
