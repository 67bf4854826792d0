// The chat window's rules that need no window: keys, texts, states, history time stamps, the
// room menu, upload plans, save names, export names and the export file.
#include "chat/chatexport.h"
#include "chat/chatrules.h"
#include "store/dbtypes.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace ChatRules;

Q_DECLARE_METATYPE(ChatRules::KeyAction)
Q_DECLARE_METATYPE(ChatRules::TextPlan)
Q_DECLARE_METATYPE(ChatRules::UploadPlan)
Q_DECLARE_METATYPE(QList<ChatRules::RoomMenuEntry>)
Q_DECLARE_METATYPE(QList<ChatRules::UploadCandidate>)
Q_DECLARE_METATYPE(Qt::KeyboardModifiers)
Q_DECLARE_METATYPE(DBChat)

namespace QTest {
template <>
char* toString(const ChatRules::KeyAction& action)
{
    static const char* names[] = {"PassOn", "Send", "TooFast"};
    return qstrdup(names[int(action)]);
}
template <>
char* toString(const ChatRules::TextPlan& plan)
{
    return qstrdup(qPrintable(QStringLiteral("TextPlan(kind=%1 preview=%2 chars \"%3\")")
                                  .arg(plan.kind)
                                  .arg(plan.preview.size())
                                  .arg(plan.preview.right(8))));
}
template <>
char* toString(const ChatRules::UploadPlan& plan)
{
    QStringList kinds;
    for (bool image : plan.asImages)
        kinds << (image ? QStringLiteral("image") : QStringLiteral("file"));
    return qstrdup(
        qPrintable(QStringLiteral("UploadPlan(files=[%1] as=[%2] folders=[%3] "
                                  "tooLarge=%4)")
                       .arg(plan.files.join(QLatin1Char(',')), kinds.join(QLatin1Char(',')),
                            plan.folders.join(QLatin1Char(',')), plan.tooLarge)));
}
template <>
char* toString(const QList<ChatRules::RoomMenuEntry>& entries)
{
    static const char* names[] = {"AddMember", "ViewMembers", "Export", "Leave",
                                  "DeleteConversation"};
    QStringList out;
    for (ChatRules::RoomMenuEntry entry : entries)
        out << QString::fromLatin1(names[int(entry)]);
    return qstrdup(qPrintable(out.join(QLatin1Char(' '))));
}
} // namespace QTest

namespace {
DBChat chatAt(const QString& sender, const QDateTime& time, int contentType, const QString& text,
              int msgType = 1)
{
    DBChat chat;
    chat.setSenderName(sender);
    chat.setMsgTime(time.toMSecsSinceEpoch());
    chat.setMsgType(msgType);
    if (contentType == 4) {
        chat.setFile(QStringLiteral("/files/k.txt"), QStringLiteral("notes.txt"), 10, text);
        chat.setContent(4, chat.toMessage());
    } else if (contentType == 2) {
        chat.setImage(QStringLiteral("/files/k_t.png"), QStringLiteral("/files/k.png"),
                      QStringLiteral("p.png"), 10, 10);
        chat.setContent(2, chat.toMessage());
    } else {
        chat.setContent(contentType, text);
    }
    return chat;
}
} // namespace

class TestChatRules : public QObject
{
    Q_OBJECT
private slots:
    void sendKey_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<Qt::KeyboardModifiers>("modifiers");
        QTest::addColumn<qint64>("sinceLastMs");
        QTest::addColumn<ChatRules::KeyAction>("action");
        const Qt::KeyboardModifiers none = Qt::NoModifier;
        QTest::newRow("return") << int(Qt::Key_Return) << none << qint64(5000) << KeyAction::Send;
        QTest::newRow("enter") << int(Qt::Key_Enter) << none << qint64(5000) << KeyAction::Send;
        QTest::newRow("keypad enter")
            << int(Qt::Key_Enter) << Qt::KeyboardModifiers(Qt::KeypadModifier) << qint64(5000)
            << KeyAction::Send;
        QTest::newRow("shift+return breaks the line")
            << int(Qt::Key_Return) << Qt::KeyboardModifiers(Qt::ShiftModifier) << qint64(5000)
            << KeyAction::PassOn;
        QTest::newRow("ctrl+return")
            << int(Qt::Key_Return) << Qt::KeyboardModifiers(Qt::ControlModifier) << qint64(5000)
            << KeyAction::PassOn;
        QTest::newRow("letter") << int(Qt::Key_A) << none << qint64(5000) << KeyAction::PassOn;
        QTest::newRow("exactly one second later")
            << int(Qt::Key_Return) << none << qint64(1000) << KeyAction::Send;
        QTest::newRow("999 ms later is too fast")
            << int(Qt::Key_Return) << none << qint64(999) << KeyAction::TooFast;
        QTest::newRow("letter while too fast")
            << int(Qt::Key_A) << none << qint64(10) << KeyAction::PassOn;
    }
    void sendKey()
    {
        QFETCH(int, key);
        QFETCH(Qt::KeyboardModifiers, modifiers);
        QFETCH(qint64, sinceLastMs);
        QFETCH(ChatRules::KeyAction, action);
        const qint64 now = 1700000000000;
        QCOMPARE(sendKeyAction(key, modifiers, now, now - sinceLastMs), action);
    }

    void textPlan_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<ChatRules::TextPlan>("plan");
        QTest::newRow("empty") << QString() << TextPlan{};
        QTest::newRow("blanks and line breaks") << QStringLiteral("  \n\t \n") << TextPlan{};
        QTest::newRow("one letter") << QStringLiteral("a") << TextPlan{TextPlan::Text, {}};
        QTest::newRow("250") << QString(250, QLatin1Char('x')) << TextPlan{TextPlan::Text, {}};
        QTest::newRow("251") << QString(251, QLatin1Char('x'))
                             << TextPlan{TextPlan::LongText,
                                         QString(247, QLatin1Char('x')) + QStringLiteral("...")};
        const QString emoji = QStringLiteral("\U0001F600");
        QTest::newRow("emoji across the cut stays whole")
            << QString(246, QLatin1Char('x')) + emoji + QStringLiteral("yyy")
            << TextPlan{TextPlan::LongText, QString(246, QLatin1Char('x')) + QStringLiteral("...")};
        QTest::newRow("251 Korean")
            << QString(251, QChar(0xD55C))
            << TextPlan{TextPlan::LongText, QString(247, QChar(0xD55C)) + QStringLiteral("...")};
    }
    void textPlan()
    {
        QFETCH(QString, text);
        QFETCH(ChatRules::TextPlan, plan);
        QCOMPARE(ChatRules::textPlan(text), plan);
    }

    void inputHeight_data()
    {
        QTest::addColumn<int>("lineBreaks");
        QTest::addColumn<int>("height");
        QTest::newRow("none") << 0 << 85;
        QTest::newRow("4") << 4 << 85;
        QTest::newRow("5") << 5 << 105;
        QTest::newRow("6") << 6 << 125;
        QTest::newRow("7") << 7 << 145;
        QTest::newRow("20 stays at 7") << 20 << 145;
    }
    void inputHeight()
    {
        QFETCH(int, lineBreaks);
        QFETCH(int, height);
        QCOMPARE(inputBoxMaxHeight(QString(lineBreaks, QLatin1Char('\n'))), height);
    }

    void states_data()
    {
        QTest::addColumn<int>("msgState");
        QTest::addColumn<int>("itemState");
        QTest::addColumn<int>("loaded");
        QTest::newRow("sending") << 0 << 0 << 2;
        QTest::newRow("confirmed") << 1 << 16 << 1;
        QTest::newRow("failed") << 2 << 1 << 2;
        QTest::newRow("uploading") << 3 << 0 << 5;
        QTest::newRow("uploaded, unconfirmed") << 4 << 1 << 4;
        QTest::newRow("upload failed") << 5 << 1 << 5;
        QTest::newRow("unknown") << 9 << 16 << 9;
    }
    void states()
    {
        QFETCH(int, msgState);
        QFETCH(int, itemState);
        QFETCH(int, loaded);
        QCOMPARE(itemStateFor(msgState), itemState);
        QCOMPARE(loadedMsgState(msgState), loaded);
    }

    void historyStamp_data()
    {
        QTest::addColumn<QString>("messageId");
        QTest::addColumn<QString>("stamp");
        QTest::newRow("none") << QString() << QStringLiteral("0");
        QTest::newRow("id with counter")
            << QStringLiteral("1001-dev-pc-17000000000001234") << QStringLiteral("1700000000000");
        QTest::newRow("client id with one dash")
            << QStringLiteral("ab-cd-17000000000009") << QStringLiteral("1700000000000");
        QTest::newRow("no dash") << QStringLiteral("17000000000001234") << QStringLiteral("0");
        QTest::newRow("letters in the time")
            << QStringLiteral("ab-cd-17000x0000000") << QStringLiteral("0");
        QTest::newRow("too short") << QStringLiteral("ab-cd-1700") << QStringLiteral("0");
    }
    void historyStamp()
    {
        QFETCH(QString, messageId);
        QFETCH(QString, stamp);
        QCOMPARE(historyTimestamp(messageId), stamp);
    }

    void roomMenu_data()
    {
        using E = RoomMenuEntry;
        QTest::addColumn<int>("roomType");
        QTest::addColumn<bool>("serverHistory");
        QTest::addColumn<QList<ChatRules::RoomMenuEntry>>("entries");
        QTest::newRow("group") << int(RoomTypeGroup) << false
                               << QList<E>{E::ViewMembers, E::Export, E::DeleteConversation};
        QTest::newRow("group, server history")
            << int(RoomTypeGroup) << true << QList<E>{E::ViewMembers, E::Export};
        QTest::newRow("one to one")
            << int(RoomType1VS1) << false
            << QList<E>{E::AddMember, E::ViewMembers, E::Export, E::Leave, E::DeleteConversation};
        QTest::newRow("one to many, server history")
            << int(RoomType1VSN) << true
            << QList<E>{E::AddMember, E::ViewMembers, E::Export, E::Leave};
        QTest::newRow("left one to one")
            << int(RoomTypeLeave) << false
            << QList<E>{E::AddMember, E::ViewMembers, E::Export, E::Leave, E::DeleteConversation};
    }
    void roomMenu()
    {
        QFETCH(int, roomType);
        QFETCH(bool, serverHistory);
        QFETCH(QList<ChatRules::RoomMenuEntry>, entries);
        QCOMPARE(roomMenuEntries(roomType, serverHistory), entries);
    }

    void uploadPlan_data()
    {
        QTest::addColumn<QList<ChatRules::UploadCandidate>>("candidates");
        QTest::addColumn<bool>("asImages");
        QTest::addColumn<ChatRules::UploadPlan>("plan");
        const qint64 limit = 52428800;
        QTest::newRow("pictures by the picture button")
            << QList<UploadCandidate>{{"/a/p.PNG", 10, false}, {"/a/d.pdf", 10, false}} << true
            << UploadPlan{{"/a/p.PNG", "/a/d.pdf"}, {true, false}, {}, {}};
        QTest::newRow("pictures by the file button go as files")
            << QList<UploadCandidate>{{"/a/p.png", 10, false}} << false
            << UploadPlan{{"/a/p.png"}, {false}, {}, {}};
        QTest::newRow("exactly the limit") << QList<UploadCandidate>{{"/a/big.zip", limit, false}}
                                           << false << UploadPlan{{"/a/big.zip"}, {false}, {}, {}};
        QTest::newRow("above the limit stops the rest")
            << QList<UploadCandidate>{{"/a/1.txt", 1, false},
                                      {"/a/big.zip", limit + 1, false},
                                      {"/a/3.txt", 1, false}}
            << false << UploadPlan{{"/a/1.txt"}, {false}, {}, "/a/big.zip"};
        QTest::newRow("folders left out, the rest sent")
            << QList<UploadCandidate>{{"/a/dir", 0, true}, {"/a/1.txt", 1, false}} << false
            << UploadPlan{{"/a/1.txt"}, {false}, {"/a/dir"}, {}};
        QTest::newRow("nothing") << QList<UploadCandidate>{} << true << UploadPlan{};
    }
    void uploadPlan()
    {
        QFETCH(QList<ChatRules::UploadCandidate>, candidates);
        QFETCH(bool, asImages);
        QFETCH(ChatRules::UploadPlan, plan);
        QCOMPARE(ChatRules::uploadPlan(candidates, asImages, 52428800), plan);
    }

    void saveName_data()
    {
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QStringList>("reserved");
        QTest::newRow("free") << QStringList{} << QStringLiteral("x.pdf")
                              << QStringList{"x.pdf", "x(1).pdf", "x(2).pdf"};
        QTest::newRow("taken") << QStringList{"x.pdf"} << QStringLiteral("x.pdf")
                               << QStringList{"x(1).pdf", "x(2).pdf", "x(3).pdf"};
        QTest::newRow("gap is filled")
            << QStringList{"x.pdf", "x(2).pdf"} << QStringLiteral("x.pdf")
            << QStringList{"x(1).pdf", "x(3).pdf", "x(4).pdf"};
        QTest::newRow("no suffix") << QStringList{"notes"} << QStringLiteral("notes")
                                   << QStringList{"notes(1)", "notes(2)", "notes(3)"};
        QTest::newRow("two dots") << QStringList{} << QStringLiteral("a.tar.gz")
                                  << QStringList{"a.tar.gz", "a.tar(1).gz", "a.tar(2).gz"};
    }
    // Three downloads of one name started before any ends get three names.
    void saveName()
    {
        QFETCH(QStringList, existing);
        QFETCH(QString, fileName);
        QFETCH(QStringList, reserved);
        QTemporaryDir dir;
        for (const QString& name : existing) {
            QFile file(dir.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QStringList names;
        for (int i = 0; i < 3; ++i)
            names << QFileInfo(reserveSaveName(dir.path(), fileName)).fileName();
        QCOMPARE(names, reserved);
    }
    void saveNameUnwritableFolder()
    {
        QCOMPARE(reserveSaveName(QStringLiteral("/proc/no-such/folder"), QStringLiteral("x")),
                 QString());
    }

    void mayRunProgram_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("extraPermissions");
        QTest::addColumn<bool>("runs");
        const int none = 0;
        const int exec = int(QFile::ExeOwner | QFile::ExeUser);
        QTest::newRow("document") << QStringLiteral("a.pdf") << none << false;
        QTest::newRow("windows program") << QStringLiteral("setup.EXE") << none << true;
        QTest::newRow("script") << QStringLiteral("run.vbs") << none << true;
        QTest::newRow("desktop entry") << QStringLiteral("x.desktop") << none << true;
        QTest::newRow("executable bit") << QStringLiteral("tool") << exec << true;
        QTest::newRow("plain file without suffix") << QStringLiteral("notes") << none << false;
    }
    void mayRunProgram()
    {
        QFETCH(QString, name);
        QFETCH(int, extraPermissions);
        QFETCH(bool, runs);
        QTemporaryDir dir;
        QFile file(dir.filePath(name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(file.setPermissions(file.permissions() | QFile::Permissions(extraPermissions)));
        QCOMPARE(ChatRules::mayRunProgram(file.fileName()), runs);
    }

    void exportName_data()
    {
        QTest::addColumn<QString>("roomName");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("plain") << QStringLiteral("Kim, Lee")
                               << QStringLiteral("Veltri_Talk_260102304_Kim, Lee.txt");
        QTest::newRow("separators")
            << QStringLiteral("A/B, C\\D") << QStringLiteral("Veltri_Talk_260102304_A_B, C_D.txt");
        QTest::newRow("reserved") << QStringLiteral("a:b*c?\"d<e>f|g")
                                  << QStringLiteral("Veltri_Talk_260102304_a_b_c__d_e_f_g.txt");
        QTest::newRow("dots and blanks at the ends")
            << QStringLiteral(" ..x.. ") << QStringLiteral("Veltri_Talk_260102304_x.txt");
        QTest::newRow("control characters")
            << QStringLiteral("a\nb\tc") << QStringLiteral("Veltri_Talk_260102304_a_b_c.txt");
        QTest::newRow("Korean kept")
            << QStringLiteral("김철수") << QStringLiteral("Veltri_Talk_260102304_김철수.txt");
    }
    void exportName()
    {
        QFETCH(QString, roomName);
        QFETCH(QString, fileName);
        const QDateTime now(QDate(2026, 1, 2), QTime(3, 0, 4));
        QCOMPARE(exportFileName(roomName, now), fileName);
    }

    void exportFile_data()
    {
        QTest::addColumn<QList<DBChat>>("chats");
        QTest::addColumn<QString>("longText");
        QTest::addColumn<QStringList>("lines");
        const QDateTime day1(QDate(2026, 3, 4), QTime(9, 5));
        const QDateTime day2(QDate(2026, 3, 5), QTime(21, 30));
        const QStringList header{"Chat with Kim in Veltri Talk", "Saved : 2026-03-06 7:8:9", ""};
        const QString date1 = "--------------- 2026year 3Month 04Day WedWeek ---------------";
        const QString date2 = "--------------- 2026year 3Month 05Day ThuWeek ---------------";
        QTest::newRow("empty") << QList<DBChat>{} << QString() << header;
        QTest::newRow("texts over two days")
            << QList<DBChat>{chatAt("Kim", day1, 1, "hi 😀"), chatAt("Lee", day1, 1, "a\nb"),
                             chatAt("Kim", day2, 1, "later")}
            << QString()
            << header + QStringList{date1, "[Kim] [09:05 am] hi 😀", "[Lee] [09:05 am] a", "b",
                                    date2, "[Kim] [09:30 pm] later"};
        QTest::newRow("attachments")
            << QList<DBChat>{chatAt("Kim", day1, 2, ""), chatAt("Kim", day1, 4, "")} << QString()
            << header +
                   QStringList{date1, "[Kim] [09:05 am] image", "[Kim] [09:05 am] file notes.txt"};
        QTest::newRow("long text in full")
            << QList<DBChat>{chatAt("Kim", day1, 4, "preview...")} << QStringLiteral("whole")
            << header + QStringList{date1, "[Kim] [09:05 am] whole"};
        QTest::newRow("long text missing goes as its preview")
            << QList<DBChat>{chatAt("Kim", day1, 4, "preview...")} << QString()
            << header + QStringList{date1, "[Kim] [09:05 am] preview..."};
        QTest::newRow("preview without its dots is marked as cut")
            << QList<DBChat>{chatAt("Kim", day1, 4, "preview")} << QString()
            << header + QStringList{date1, "[Kim] [09:05 am] preview..."};
        QTest::newRow("preview of several lines")
            << QList<DBChat>{chatAt("Kim", day1, 4, "one\ntwo...")} << QString()
            << header + QStringList{date1, "[Kim] [09:05 am] one", "two..."};
    }
    // UTF-8 with a byte order mark, CR LF, a date line per day.
    void exportFile()
    {
        QFETCH(QList<DBChat>, chats);
        QFETCH(QString, longText);
        QFETCH(QStringList, lines);
        ChatExportWriter writer(QStringLiteral("Kim"), QDateTime(QDate(2026, 3, 6), QTime(7, 8, 9)),
                                false);
        writer.setLongTextReader([longText](const DBChat&) { return longText; });
        QBuffer buffer;
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        QVERIFY(writer.write(&buffer, chats));
        const QByteArray bytes = buffer.data();
        QCOMPARE(bytes.left(3), QByteArray("\xEF\xBB\xBF"));
        QCOMPARE(QString::fromUtf8(bytes.mid(3)).split(QStringLiteral("\r\n")),
                 lines + QStringList{QString()});
    }
};

QTEST_GUILESS_MAIN(TestChatRules)
#include "tst_chatrules.moc"
