// One primary per runtime folder (user session): the next start there hands over to it.
#include "common/childprocess.h"
#include "common/testenv.h"

#include <QtTest>

#include <memory>

namespace {
constexpr int kWait = 20000;

std::unique_ptr<QProcess> start(const TestEnv& env, const QString& runtime, const QString& message)
{
    QProcessEnvironment environment = env.processEnvironment();
    environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), env.path(runtime));
    auto p = std::make_unique<QProcess>();
    p->setProcessEnvironment(environment);
    p->start(QCoreApplication::applicationDirPath() + QStringLiteral("/instance_child"), {message});
    return p;
}

QString nextLine(QProcess& p)
{
    while (!p.canReadLine() && p.waitForReadyRead(kWait)) {
    }
    return QString::fromUtf8(p.readLine()).trimmed();
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT
private slots:
    void secondStart_data()
    {
        QTest::addColumn<QString>("secondRuntime");
        QTest::addColumn<QString>("secondSays");
        QTest::addColumn<QStringList>("firstSays"); // until a "quit" from its own session ends it
        QTest::newRow("same runtime folder: hands over")
            << "runtime"
            << "sent 1" << QStringList{"primary", "received show", "received quit"};
        QTest::newRow("other runtime folder: a primary of its own")
            << "runtime2"
            << "primary" << QStringList{"primary", "received quit"};
    }
    void secondStart()
    {
        QFETCH(QString, secondRuntime);
        QFETCH(QString, secondSays);
        QFETCH(QStringList, firstSays);
        TestEnv env;
        QVERIFY(QDir().mkpath(env.path(QStringLiteral("runtime2"))));
        QVERIFY(QFile::setPermissions(env.path(QStringLiteral("runtime2")),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

        auto first = start(env, QStringLiteral("runtime"), QString());
        QCOMPARE(nextLine(*first), QStringLiteral("primary"));

        auto second = start(env, secondRuntime, QStringLiteral("show"));
        QCOMPARE(nextLine(*second), secondSays);
        ChildProcess::stop(*second, kWait); // a primary of another session waits for nothing here

        auto closer = start(env, QStringLiteral("runtime"), QStringLiteral("quit"));
        QCOMPARE(nextLine(*closer), QStringLiteral("sent 1"));
        QVERIFY(first->waitForFinished(kWait));
        const QString rest = QString::fromUtf8(first->readAllStandardOutput());
        QCOMPARE(QStringList{"primary"} + rest.split('\n', Qt::SkipEmptyParts), firstSays);
    }
};

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
