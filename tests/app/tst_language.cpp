#include "app/language.h"
#include "resources/mtresources.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>
#include <QtTest>

namespace {
// Which of the four translators (Qt's, the texts', the forms', the store's) are installed.
QList<bool> installed()
{
    QList<bool> flags;
    for (QTranslator* t : installedTranslators())
        flags << bool(t);
    return flags;
}

const QStringList kKorean{":/qtbase_ko.qm", ":/lang_ko.qm", ":/ui_ko.qm", ":/db_ko.qm"};

QStringList koreanWithout(int index)
{
    QStringList files = kKorean;
    files[index] = QStringLiteral(":/missing.qm");
    return files;
}
} // namespace

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
    void fromLocale_data();
    void fromLocale();
    void missingFile_data();
    void missingFile();
};

void TestLanguage::fromLocale_data()
{
    QTest::addColumn<int>("language");
    QTest::addColumn<QList<bool>>("expected");
    QTest::addColumn<QString>("login"); // the forms' catalogue translates the login button
    QTest::newRow("german: none") << int(QLocale::German) << QList<bool>{false, false, false, false}
                                  << "Login";
    QTest::newRow("english: none")
        << int(QLocale::English) << QList<bool>{false, false, false, false} << "Login";
    QTest::newRow("korean: all four")
        << int(QLocale::Korean) << QList<bool>{true, true, true, true} << "로그인";
}

void TestLanguage::fromLocale()
{
    QFETCH(int, language);
    QFETCH(QList<bool>, expected);
    QFETCH(QString, login);
    QLocale::setDefault(QLocale(QLocale::Language(language)));
    initLanguage();
    QCOMPARE(installed(), expected);
    QCOMPARE(QCoreApplication::translate("MainDialog", "Login"), login);
}

// A file that cannot be loaded is reported and ends the loading: the files after it stay out.
void TestLanguage::missingFile_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("warning");
    QTest::addColumn<QList<bool>>("expected");
    QTest::addColumn<QString>("login");
    const QString failed = QStringLiteral("MainWindow::initLanguage failed to load ");
    QTest::newRow("qtbase missing") << koreanWithout(0) << failed + "language file::/missing.qm"
                                    << QList<bool>{false, false, false, false} << "Login";
    QTest::newRow("lang missing") << koreanWithout(1) << failed + "language file::/missing.qm"
                                  << QList<bool>{true, false, false, false} << "Login";
    QTest::newRow("ui missing") << koreanWithout(2) << failed + "ui language file::/missing.qm"
                                << QList<bool>{true, true, false, false} << "Login";
    QTest::newRow("db missing") << koreanWithout(3) << failed + "db language file::/missing.qm"
                                << QList<bool>{true, true, true, false} << "로그인";
}

void TestLanguage::missingFile()
{
    QFETCH(QStringList, files);
    QFETCH(QString, warning);
    QFETCH(QList<bool>, expected);
    QFETCH(QString, login);
    QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
    initLanguageFiles(files);
    QCOMPARE(installed(), expected);
    QCOMPARE(QCoreApplication::translate("MainDialog", "Login"), login);
}

QTEST_GUILESS_MAIN(TestLanguage)
#include "tst_language.moc"
