// Korean gets every catalogue, any other language none; read against the source texts.
#include "app/language.h"
#include "common/typed.h"
#include "resources/mtresources.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>
#include <QtTest>

namespace {
struct Loaded
{
    int translators = 0;
    bool formsTranslated = false; // a text of the forms' catalogue
    MT_TYPED(Loaded, translators, formsTranslated)
};
} // namespace

Q_DECLARE_METATYPE(Loaded)

class TestLanguage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { mtInitResources(); }
    void fromLocale_data()
    {
        QTest::addColumn<int>("language");
        QTest::addColumn<Loaded>("expected");
        QTest::newRow("korean: all four") << int(QLocale::Korean) << Loaded{4, true};
        QTest::newRow("english: none") << int(QLocale::English) << Loaded{0, false};
    }
    void fromLocale()
    {
        QFETCH(int, language);
        QFETCH(Loaded, expected);
        QLocale::setDefault(QLocale(QLocale::Language(language)));
        initLanguage();
        const QList<QTranslator*> all = installedTranslators();
        const Loaded seen{int(all.size() - all.count(nullptr)),
                          QCoreApplication::translate("MainDialog", "Login") != "Login"};
        for (QTranslator* t : all)
            QCoreApplication::removeTranslator(t);
        deleteTranslators();
        QCOMPARE(seen, expected);
    }
};

QTEST_GUILESS_MAIN(TestLanguage)
#include "tst_language.moc"
