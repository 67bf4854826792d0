// A screen reader on the conversation: every row of the view tells what it shows (who wrote,
// when, the message, file or picture, how many have read it or how far it got), the notices
// their text and the date separators their date, in English and in Korean.
#include "resources/mtresources.h"
#include "store/dbchat.h"
#include "store/dbtypes.h"
#include "widgets/mtchatwidget.h"

#include <QAccessible>
#include <QTranslator>
#include <QtTest>

#include <memory>
#include <vector>

namespace {

// What a screen reader is told about one row of the view.
struct Spoken
{
    QAccessible::Role role = QAccessible::NoRole;
    QString name;
    bool operator==(const Spoken& o) const { return role == o.role && name == o.name; }
};

// A stored chat as the chat window hands it to the view.
struct Chat
{
    bool own = false;
    int msgType = MsgTypeChat;
    int contentType = ContentTypeText;
    QString sender;
    QString content; // the text; for a notice, who was invited or left
    int msgState = MsgStateConfirmed;
    int count = 0;
    QString fileName;
    qint64 fileSize = 0;
};

Chat message(const QString& sender, const QString& text, bool own = false)
{
    Chat c;
    c.own = own;
    c.sender = sender;
    c.content = text;
    return c;
}

Chat attachment(const QString& sender, int contentType, const QString& fileName, bool own)
{
    Chat c = message(sender, QString(), own);
    c.contentType = contentType;
    c.fileName = fileName;
    return c;
}

Chat notice(int msgType, const QString& sender, const QString& who)
{
    Chat c = message(sender, who);
    c.msgType = msgType;
    return c;
}

const QDateTime kTime(QDate(2024, 3, 5), QTime(14, 7));

DBChat stored(const Chat& c)
{
    DBChat chat;
    chat.setMsgId(QStringLiteral("m1"));
    chat.setSenderId(c.own ? 1 : 2);
    chat.setSenderName(c.sender);
    chat.setMsgType(c.msgType);
    chat.setMsgTime(kTime.toMSecsSinceEpoch());
    chat.setMsgState(c.msgState);
    chat.setCount(c.count);
    chat.setContent(ContentTypeText, c.content);
    if (c.contentType == ContentTypeImage)
        chat.setImage(QString(), QString(), c.fileName, 40, 30);
    if (c.contentType == ContentTypeFile)
        chat.setFile(QString(), c.fileName, c.fileSize, QString());
    return chat;
}

QPixmap thumbnail()
{
    QPixmap image(40, 30);
    image.fill(Qt::darkCyan);
    return image;
}

// The program's Korean catalogues and locale for the life of the object; English otherwise.
class Language
{
public:
    explicit Language(const QString& name)
    {
        const bool korean = name == QLatin1String("ko");
        QLocale::setDefault(korean ? QLocale(QLocale::Korean, QLocale::SouthKorea)
                                   : QLocale(QLocale::English, QLocale::UnitedStates));
        const QStringList files =
            korean ? QStringList{QStringLiteral(":/lang_ko.qm"), QStringLiteral(":/db_ko.qm")}
                   : QStringList();
        for (const QString& file : files) {
            auto translator = std::make_unique<QTranslator>();
            m_loaded = m_loaded && translator->load(file) &&
                       QCoreApplication::installTranslator(translator.get());
            m_translators.push_back(std::move(translator));
        }
    }
    ~Language()
    {
        for (const auto& translator : m_translators)
            QCoreApplication::removeTranslator(translator.get());
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
    }
    bool loaded() const { return m_loaded; }

private:
    std::vector<std::unique_ptr<QTranslator>> m_translators;
    bool m_loaded = true;
};

Spoken heard(MtChatWidget* view, int row)
{
    QAccessibleInterface* list = QAccessible::queryAccessibleInterface(view);
    QAccessibleInterface* cell = list ? list->child(row) : nullptr;
    if (!cell)
        return Spoken{QAccessible::NoRole, QStringLiteral("(no such row)")};
    return Spoken{cell->role(), cell->text(QAccessible::Name)};
}

} // namespace

Q_DECLARE_METATYPE(Spoken)
Q_DECLARE_METATYPE(Chat)

namespace QTest {
template <>
char* toString(const Spoken& s)
{
    return qstrdup(QStringLiteral("role 0x%1, name \"%2\"")
                       .arg(QString::number(int(s.role), 16), s.name)
                       .toUtf8()
                       .constData());
}
} // namespace QTest

class TestConversationSpeech : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void rowsSpeak_data();
    void rowsSpeak();
    void readCountFollowsTheBubble();

private:
    // A view as the chat window shows it, holding the chat under its date separator.
    std::unique_ptr<MtChatWidget> viewWith(const Chat& chat);
};

void TestConversationSpeech::initTestCase()
{
    mtInitResources();
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
}

std::unique_ptr<MtChatWidget> TestConversationSpeech::viewWith(const Chat& chat)
{
    auto view = std::make_unique<MtChatWidget>();
    view->resize(420, 600);
    view->show();
    view->addChat(stored(chat), chat.own, QPixmap(), thumbnail(), false);
    return view;
}

void TestConversationSpeech::rowsSpeak_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<Chat>("chat");
    QTest::addColumn<int>("row"); // 0: the date separator above the chat, 1: the chat
    QTest::addColumn<Spoken>("expected");
    const auto item = [](const QString& name) { return Spoken{QAccessible::ListItem, name}; };
    const Chat text = message("Kim Minsu", "Lunch at noon?");
    Chat ownRead = message("Me", "On my way", true);
    ownRead.count = 3;
    Chat ownSending = ownRead;
    ownSending.msgState = MsgStateNew;
    Chat ownFailed = ownRead;
    ownFailed.msgState = MsgStateUploadFailed;
    Chat file = attachment("Kim Minsu", ContentTypeFile, "report.pdf", false);
    file.fileSize = 12345;
    Chat ownPicture = attachment("Me", ContentTypeImage, "beach.jpg", true);
    ownPicture.count = 1;
    const Chat invited = notice(MsgTypeInvite, "Kim Minsu", "Lee Younghee");
    const Chat left = notice(MsgTypeLeave, "Lee Younghee", "Lee Younghee");

    QTest::newRow("en: another member's message")
        << "en" << text << 1 << item("Kim Minsu, 02:07 pm: Lunch at noon?");
    QTest::newRow("en: own message read by three")
        << "en" << ownRead << 1 << item("You, 02:07 pm: On my way, 3 Read");
    QTest::newRow("en: own message being sent")
        << "en" << ownSending << 1 << item("You, 02:07 pm: On my way, Sending");
    QTest::newRow("en: own message that failed")
        << "en" << ownFailed << 1 << item("You, 02:07 pm: On my way, Error sending");
    QTest::newRow("en: another member's file")
        << "en" << file << 1 << item("Kim Minsu, 02:07 pm: File report.pdf, 13KB");
    QTest::newRow("en: own picture read by one")
        << "en" << ownPicture << 1 << item("You, 02:07 pm: Picture, 1 Read");
    QTest::newRow("en: invitation notice")
        << "en" << invited << 1 << item("Kim Minsu invited Lee Younghee");
    QTest::newRow("en: leave notice") << "en" << left << 1 << item("Lee Younghee leaved");
    QTest::newRow("en: date separator") << "en" << text << 0 << item("2024-3-5 Tuesday");

    const Chat koText = message("김민수", "점심 같이 해요");
    Chat koOwnRead = message("나", "가는 중", true);
    koOwnRead.count = 3;
    Chat koOwnFailed = koOwnRead;
    koOwnFailed.msgState = MsgStateUploadFailed;
    Chat koFile = file;
    koFile.sender = "김민수";
    Chat koOwnPicture = ownPicture;
    koOwnPicture.sender = "나";
    const Chat koInvited = notice(MsgTypeInvite, "김민수", "이영희");
    const Chat koLeft = notice(MsgTypeLeave, "이영희", "이영희");

    QTest::newRow("ko: another member's message")
        << "ko" << koText << 1 << item("김민수, 오후 02:07: 점심 같이 해요");
    QTest::newRow("ko: own message read by three")
        << "ko" << koOwnRead << 1 << item("나, 오후 02:07: 가는 중, 3 읽음");
    QTest::newRow("ko: own message that failed")
        << "ko" << koOwnFailed << 1 << item("나, 오후 02:07: 가는 중, 보내기 실패");
    QTest::newRow("ko: another member's file")
        << "ko" << koFile << 1 << item("김민수, 오후 02:07: 파일 report.pdf, 13KB");
    QTest::newRow("ko: own picture read by one")
        << "ko" << koOwnPicture << 1 << item("나, 오후 02:07: 사진, 1 읽음");
    QTest::newRow("ko: invitation notice")
        << "ko" << koInvited << 1 << item("김민수님이 이영희님을 초대했습니다");
    QTest::newRow("ko: leave notice") << "ko" << koLeft << 1 << item("이영희님이 나갔습니다");
    QTest::newRow("ko: date separator") << "ko" << koText << 0 << item("2024년 3월 5일 화요일");
}

void TestConversationSpeech::rowsSpeak()
{
    QFETCH(QString, language);
    QFETCH(Chat, chat);
    QFETCH(int, row);
    QFETCH(Spoken, expected);
    const Language shown(language);
    QVERIFY(shown.loaded());
    const std::unique_ptr<MtChatWidget> view = viewWith(chat);
    QCOMPARE(heard(view.get(), row), expected);
}

// The read count the window sets on a bubble after it was added is what the reader hears.
void TestConversationSpeech::readCountFollowsTheBubble()
{
    const Chat own = message("Me", "On my way", true);
    const std::unique_ptr<MtChatWidget> view = viewWith(own);
    QVERIFY(view->setMessageReadCount(QStringLiteral("m1"), 4));
    QCOMPARE(heard(view.get(), 1),
             (Spoken{QAccessible::ListItem, QStringLiteral("You, 02:07 pm: On my way, 4 Read")}));
}

QTEST_MAIN(TestConversationSpeech)
#include "tst_conversationspeech.moc"
