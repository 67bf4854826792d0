// Closing a chat window while another connection holds the store's write lock, as the delivery
// thread does for each batch under steady traffic: a window whose draft did not change writes
// nothing, so its close never waits for the lock (nor fails after the busy time-out).
#include "chatwindowfixture.h"

#include "store/dbmanager.h"

#include <QPlainTextEdit>
#include <QSqlDatabase>
#include <QSqlQuery>

namespace {
QStringList g_criticals;

void keepCriticals(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg)
        g_criticals << message;
}
} // namespace

class TestChatWindowClose : public ChatWindowFixture
{
    Q_OBJECT
private slots:
    void initTestCase() { logIn(QStringLiteral("close-pc")); }

    void closeWithUnchangedDraft_data()
    {
        QTest::addColumn<QString>("storedDraft");
        QTest::newRow("no draft") << QString();
        QTest::newRow("a draft shown again") << QStringLiteral("half a sentence");
    }
    void closeWithUnchangedDraft()
    {
        QFETCH(QString, storedDraft);
        const DBChatRoom room = newRoom();
        QVERIFY(db()->saveDraft(room.topic(), storedDraft));
        std::unique_ptr<ChatDialog> window = open(room);
        QCOMPARE(inputBox(*window)->toPlainText(), storedDraft);

        DBManager writer(db()->dbPath(), QStringLiteral("close-writer"),
                         QString::fromLatin1(DBManager::kPassword), 1);
        QSqlQuery hold(QSqlDatabase::database(writer.connectionName()));
        QVERIFY(hold.exec(QStringLiteral("BEGIN IMMEDIATE")));
        g_criticals.clear();
        const QtMessageHandler previous = qInstallMessageHandler(keepCriticals);
        window->close();
        qInstallMessageHandler(previous);
        QVERIFY(hold.exec(QStringLiteral("ROLLBACK")));
        QCOMPARE(g_criticals, QStringList());
    }
};

QTEST_MAIN(TestChatWindowClose)
#include "tst_chatwindowclose.moc"
