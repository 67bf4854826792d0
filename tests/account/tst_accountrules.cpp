#include "account/passwordcheck.h"
#include "store/dbmtdata.h"

#include "common/typed.h"

#include <QtTest>

namespace {
const QString kCurrent = QStringLiteral("Passw0rd!");

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

} // namespace

Q_DECLARE_METATYPE(Check)

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
        QTest::newRow("confirmation empty")
            << Check{kCurrent, a9, "", {P::ConfirmEmpty, P::ConfirmField, false, true}};
        QTest::newRow("8 characters") << Check{kCurrent, "abcdefgh", "abcdefgh", badLength};
        QTest::newRow("21 characters")
            << Check{kCurrent, QString(21, 'a'), QString(21, 'a'), badLength};
        QTest::newRow("9 characters") << Check{kCurrent, a9, a9, ok};
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
};

QTEST_GUILESS_MAIN(TestAccountRules)
#include "tst_accountrules.moc"
