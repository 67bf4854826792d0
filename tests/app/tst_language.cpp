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
    void cleanup()
    {
        for (QTranslator* t : installedTranslators())
            QCoreApplication::removeTranslator(t);
        deleteTranslators();
    }
    void load_data();
    void load();
};

void TestLanguage::load_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<int>("missing");  // the file replaced by a missing one, -1 for none
    QTest::addColumn<QString>("kind"); // of the warning's "failed to load <kind>language file"
    QTest::newRow("german: none") << int(QLocale::German) << -1 << "";
    QTest::newRow("korean: all four") << int(QLocale::Korean) << -1 << "";
    QTest::newRow("qtbase missing") << int(QLocale::Korean) << 0 << "";
    QTest::newRow("lang missing") << int(QLocale::Korean) << 1 << "";
    QTest::newRow("ui missing") << int(QLocale::Korean) << 2 << "ui ";
    QTest::newRow("db missing") << int(QLocale::Korean) << 3 << "db ";
}

void TestLanguage::load()
{
    QFETCH(int, language);
    QFETCH(int, missing);
    QFETCH(QString, kind);
    QLocale::setDefault(QLocale(QLocale::Language(language)));
    if (missing < 0) {
        initLanguage();
    } else {
        QStringList files{":/qtbase_ko.qm", ":/lang_ko.qm", ":/ui_ko.qm", ":/db_ko.qm"};
        files[missing] = QStringLiteral(":/missing.qm");
        QTest::ignoreMessage(QtWarningMsg, qPrintable("MainWindow::initLanguage failed to load " +
                                                      kind + "language file::/missing.qm"));
        initLanguageFiles(files);
    }
    // A missing file stops the rest.
    const int loaded = missing >= 0 ? missing : language == QLocale::Korean ? 4 : 0;
    const QList<QTranslator*> translators = installedTranslators();
    for (int i = 0; i < 4; ++i)
        QVERIFY2(bool(translators.at(i)) == (i < loaded), qPrintable(QString::number(i)));
    // The forms' catalogue, third of the four, translates the login button.
    QCOMPARE(QCoreApplication::translate("MainDialog", "Login"),
             loaded > 2 ? QStringLiteral("로그인") : QStringLiteral("Login"));
}

QTEST_GUILESS_MAIN(TestLanguage)
#include "tst_language.moc"
