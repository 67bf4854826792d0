// The chat window's rules that need no window.
#include "common/typed.h"

#include "chat/chatexport.h"
#include "chat/chatrules.h"
#include "store/dbtypes.h"
#include "widgets/mtchatitemstate.h"

#include <QBuffer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace ChatRules;

namespace {
struct TextRow
{
    QString text;
    TextPlan plan;
};
// The bubble state of an own chat stored so, and the state it is loaded with.
struct Shown
{
    int item = -1, loaded = -1;
    MT_TYPED(Shown, item, loaded)
};
struct StateRow
{
    int stored = 0;
    Shown shown;
};
struct PlanRow
{
    QList<UploadCandidate> candidates;
    bool asImages = false;
    UploadPlan plan;
};
struct SaveRow
{
    bool writable = true;
    QStringList existing;
    QString fileName;
    QStringList reserved; // three reservations of the name in a row
};
struct RunRow
{
    QString name;
    bool executable = false, runs = false;
};
struct ExportName
{
    QString part;
    bool inFileName = false;
    MT_TYPED(ExportName, part, inFileName)
};
struct ExportNameRow
{
    QString roomName, part;
};
// The export file: a byte order mark, every line ending in CR LF, the expected texts it lacks.
struct Exported
{
    bool bom = false, crlf = false;
    QStringList missing;
    MT_TYPED(Exported, bom, crlf, missing)
};
struct ExportRow
{
    QList<DBChat> chats;
    QString longText; // what the long text chats read as their whole text
    QStringList texts;
};

DBChat chatAt(const QDateTime& time, int contentType, const QString& text)
{
    DBChat chat;
    chat.setSenderName(QStringLiteral("김철수"));
    chat.setMsgTime(time.toMSecsSinceEpoch());
    chat.setMsgType(1);
    if (contentType == 4) {
        chat.setFile(QStringLiteral("/files/k.txt"), QStringLiteral("notes.txt"), 10, text);
        chat.setContent(4, chat.toMessage());
    } else {
        chat.setContent(contentType, text);
    }
    return chat;
}
} // namespace

Q_DECLARE_METATYPE(TextRow)
Q_DECLARE_METATYPE(StateRow)
Q_DECLARE_METATYPE(PlanRow)
Q_DECLARE_METATYPE(SaveRow)
Q_DECLARE_METATYPE(RunRow)
Q_DECLARE_METATYPE(ExportNameRow)
Q_DECLARE_METATYPE(ExportRow)

namespace ChatRules {
char* toString(const TextPlan& p)
{
    return qstrdup(QByteArray(QByteArray::number(p.kind) + ' ' + p.preview.toUtf8()).constData());
}
char* toString(const UploadPlan& p)
{
    return qstrdup(QByteArray(mttyped::text(p.files) + ' ' + mttyped::text(p.asImages) + ' ' +
                              mttyped::text(p.folders) + ' ' + p.tooLarge.toUtf8())
                       .constData());
}
} // namespace ChatRules

class TestChatRules : public QObject
{
    Q_OBJECT
private slots:

    void textPlan_data()
    {
        QTest::addColumn<TextRow>("row");
        const auto x = [](int n) { return QString(n, QLatin1Char('x')); };
        const QString cut = QStringLiteral("...");
        QTest::newRow("blanks and line breaks") << TextRow{QStringLiteral("  \n\t \n"), {}};
        QTest::newRow("at the limit") << TextRow{x(kTextLimit), {TextPlan::Text, {}}};
        QTest::newRow("one above")
            << TextRow{x(kTextLimit + 1), {TextPlan::LongText, x(kTextLimit - 3) + cut}};
        QTest::newRow("emoji across the cut stays whole")
            << TextRow{x(kTextLimit - 4) + QStringLiteral("\U0001F600yyy"),
                       {TextPlan::LongText, x(kTextLimit - 4) + cut}};
    }
    void textPlan()
    {
        QFETCH(TextRow, row);
        QCOMPARE(ChatRules::textPlan(row.text), row.plan);
    }

    // Only what failed offers its resend; a send or upload left running is loaded as failed.
    void states_data()
    {
        QTest::addColumn<StateRow>("row");
        using S = MtChatItemState;
        QTest::newRow("sending") << StateRow{MsgStateNew, {S::Progress, 2}};
        QTest::newRow("confirmed") << StateRow{MsgStateConfirmed, {S::Settled, MsgStateConfirmed}};
        QTest::newRow("text failed") << StateRow{2, {S::Failed, 2}};
        QTest::newRow("uploading")
            << StateRow{MsgStateUploading, {S::Progress, MsgStateUploadFailed}};
        QTest::newRow("uploaded, unconfirmed")
            << StateRow{MsgStateUploaded, {S::Failed, MsgStateUploaded}};
        QTest::newRow("upload failed")
            << StateRow{MsgStateUploadFailed, {S::Failed, MsgStateUploadFailed}};
    }
    void states()
    {
        QFETCH(StateRow, row);
        QCOMPARE((Shown{MtChatItemState::fromMsgState(row.stored), loadedMsgState(row.stored)}),
                 row.shown);
    }

    void historyStamp_data()
    {
        QTest::addColumn<QString>("messageId");
        QTest::addColumn<QString>("stamp");
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

    void uploadPlan_data()
    {
        QTest::addColumn<PlanRow>("row");
        QTest::newRow("pictures by the picture button")
            << PlanRow{{{"/a/p.PNG", 10, false}, {"/a/d.pdf", 10, false}},
                       true,
                       {{"/a/p.PNG", "/a/d.pdf"}, {true, false}, {}, {}}};
        QTest::newRow("exactly the limit")
            << PlanRow{{{"/a/big.zip", 100, false}}, false, {{"/a/big.zip"}, {false}, {}, {}}};
        QTest::newRow("above the limit stops the rest")
            << PlanRow{{{"/a/1.txt", 1, false}, {"/a/big.zip", 101, false}, {"/a/3.txt", 1, false}},
                       false,
                       {{"/a/1.txt"}, {false}, {}, "/a/big.zip"}};
    }
    void uploadPlan()
    {
        QFETCH(PlanRow, row);
        QCOMPARE(ChatRules::uploadPlan(row.candidates, row.asImages, 100), row.plan);
    }

    // Three downloads of one name started before any ends get three names.
    void saveName_data()
    {
        QTest::addColumn<SaveRow>("row");
        QTest::newRow("free") << SaveRow{true, {}, "x.pdf", {"x.pdf", "x(1).pdf", "x(2).pdf"}};
        QTest::newRow("gap is filled")
            << SaveRow{true, {"x.pdf", "x(2).pdf"}, "x.pdf", {"x(1).pdf", "x(3).pdf", "x(4).pdf"}};
        QTest::newRow("no suffix")
            << SaveRow{true, {"notes"}, "notes", {"notes(1)", "notes(2)", "notes(3)"}};
        QTest::newRow("two dots") << SaveRow{
            true, {}, "a.tar.gz", {"a.tar.gz", "a.tar(1).gz", "a.tar(2).gz"}};
        QTest::newRow("folder not writable") << SaveRow{false, {}, "x", {"", "", ""}};
    }
    void saveName()
    {
        QFETCH(SaveRow, row);
        QTemporaryDir dir;
        for (const QString& name : row.existing)
            QVERIFY(QFile(dir.filePath(name)).open(QIODevice::WriteOnly));
        const QString folder = row.writable ? dir.path() : QStringLiteral("/proc/no-such/folder");
        QStringList names;
        for (int i = 0; i < 3; ++i)
            names << QFileInfo(reserveSaveName(folder, row.fileName)).fileName();
        QCOMPARE(names, row.reserved);
    }

    void mayRunProgram_data()
    {
        QTest::addColumn<RunRow>("row");
        QTest::newRow("document") << RunRow{"a.pdf", false, false};
        QTest::newRow("windows program") << RunRow{"setup.EXE", false, true};
        QTest::newRow("executable bit") << RunRow{"tool", true, true};
        QTest::newRow("plain file without suffix") << RunRow{"notes", false, false};
    }
    void mayRunProgram()
    {
        QFETCH(RunRow, row);
        QTemporaryDir dir;
        QFile file(dir.filePath(row.name));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        const QFile::Permissions exec =
            row.executable ? QFile::ExeOwner | QFile::ExeUser : QFile::Permissions();
        QVERIFY(file.setPermissions(file.permissions() | exec));
        QCOMPARE(ChatRules::mayRunProgram(file.fileName()), row.runs);
    }

    // The room's name in an export file name never leads out of the chosen folder.
    void exportName_data()
    {
        QTest::addColumn<ExportNameRow>("row");
        QTest::newRow("parent folder") << ExportNameRow{"../..", "_"};
        QTest::newRow("reserved and separators")
            << ExportNameRow{"a:b*c?\"d<e>f|g/h\\i, j", "a_b_c__d_e_f_g_h_i, j"};
        QTest::newRow("dots and blanks at the ends") << ExportNameRow{" ..x.. ", "x"};
        QTest::newRow("control characters") << ExportNameRow{"a\nb\tc", "a_b_c"};
        QTest::newRow("Korean kept") << ExportNameRow{"김철수", "김철수"};
    }
    void exportName()
    {
        QFETCH(ExportNameRow, row);
        const QString name = exportFileName(row.roomName, QDateTime::currentDateTime());
        QCOMPARE((ExportName{safeNamePart(row.roomName),
                             name.contains(row.part) && QFileInfo(name).fileName() == name}),
                 (ExportName{row.part, true}));
    }

    // UTF-8 with a byte order mark and CR LF, every chat's text in full.
    void exportFile_data()
    {
        QTest::addColumn<ExportRow>("row");
        const QDateTime day1(QDate(2026, 3, 4), QTime(9, 5));
        const QDateTime day2(QDate(2026, 3, 5), QTime(21, 30));
        QTest::newRow("empty") << ExportRow{{}, {}, {"김철수"}};
        QTest::newRow("texts over two days") << ExportRow{
            {chatAt(day1, 1, "hi 😀"), chatAt(day1, 1, "한\n글"), chatAt(day2, 1, "later")},
            {},
            {"hi 😀", "한\r\n글", "later"}};
        QTest::newRow("a file") << ExportRow{{chatAt(day1, 4, "")}, {}, {"notes.txt"}};
        QTest::newRow("long text in full")
            << ExportRow{{chatAt(day1, 4, "preview...")}, "whole ünïcode", {"whole ünïcode"}};
        QTest::newRow("a preview without its dots is marked as cut")
            << ExportRow{{chatAt(day1, 4, "cut here")}, {}, {"cut here..."}};
        QTest::newRow("long text missing goes as its preview")
            << ExportRow{{chatAt(day1, 4, "one\ntwo...")}, {}, {"one\r\ntwo..."}};
    }
    void exportFile()
    {
        QFETCH(ExportRow, row);
        ChatExportWriter writer(QStringLiteral("김철수"), QDateTime::currentDateTime(), false);
        writer.setLongTextReader([longText = row.longText](const DBChat&) { return longText; });
        QBuffer buffer;
        QVERIFY(buffer.open(QIODevice::WriteOnly));
        QVERIFY(writer.write(&buffer, row.chats));
        const QByteArray bytes = buffer.data();
        const QString text = QString::fromUtf8(bytes.mid(3));
        Exported seen{bytes.startsWith("\xEF\xBB\xBF"),
                      bytes.count('\n') == bytes.count("\r\n") && bytes.endsWith("\r\n"),
                      {}};
        for (const QString& expected : row.texts)
            seen.missing << (text.contains(expected) ? QString() : expected);
        seen.missing.removeAll(QString());
        QCOMPARE(seen, (Exported{true, true, {}}));
    }
};

QTEST_GUILESS_MAIN(TestChatRules)
#include "tst_chatrules.moc"
