#include "app/language.h"
#include "resources/mtresources.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>
#include <QtTest>

class TestLanguage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { mtInitResources(); }
    void cleanup();
    void byLocale_data();
    void byLocale();
    void missingFileStopsTheRest_data();
    void missingFileStopsTheRest();
};

void TestLanguage::cleanup()
{
    for (QTranslator* t : installedTranslators()) {
        if (t)
            QCoreApplication::removeTranslator(t);
    }
    deleteTranslators();
}

void TestLanguage::byLocale_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("translators");
    QTest::addColumn<QString>("login");
    QTest::newRow("german") << int(QLocale::German) << 0 << QStringLiteral("Login");
    QTest::newRow("korean") << int(QLocale::Korean) << 4 << QStringLiteral("로그인");
}

void TestLanguage::byLocale()
{
    QFETCH(int, language);
    QFETCH(int, translators);
    QFETCH(QString, login);
    QLocale::setDefault(QLocale(QLocale::Language(language)));
    initLanguage();
    int made = 0;
    for (QTranslator* t : installedTranslators())
        made += t ? 1 : 0;
    QCOMPARE(made, translators);
    // A text of each catalogue of ours shows whether it is installed.
    QCOMPARE(QCoreApplication::translate("MainDialog", "Login"), login);
}

void TestLanguage::missingFileStopsTheRest_data()
{
    QTest::addColumn<int>("missingIndex");
    QTest::addColumn<QString>("kind"); // of the warning's "failed to load <kind>language file"
    QTest::newRow("qtbase") << 0 << "";
    QTest::newRow("lang") << 1 << "";
    QTest::newRow("ui") << 2 << "ui ";
    QTest::newRow("db") << 3 << "db ";
}

void TestLanguage::missingFileStopsTheRest()
{
    QFETCH(int, missingIndex);
    QFETCH(QString, kind);
    QStringList files{QStringLiteral(":/qtbase_ko.qm"), QStringLiteral(":/lang_ko.qm"),
                      QStringLiteral(":/ui_ko.qm"), QStringLiteral(":/db_ko.qm")};
    files[missingIndex] = QStringLiteral(":/missing.qm");
    QTest::ignoreMessage(QtWarningMsg, qPrintable("MainWindow::initLanguage failed to load " +
                                                  kind + "language file::/missing.qm"));
    initLanguageFiles(files);
    const QList<QTranslator*> translators = installedTranslators();
    for (int i = 0; i < 4; ++i) {
        if (i < missingIndex)
            QVERIFY2(translators.at(i), qPrintable(files.at(i)));
        else
            QVERIFY(!translators.at(i));
    }
}

QTEST_GUILESS_MAIN(TestLanguage)
#include "tst_language.moc"
