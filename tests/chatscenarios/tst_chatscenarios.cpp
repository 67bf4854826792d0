// Two users, each with the whole program in a home of its own, on one virtual display with a window
// manager and a tray, against the reference server. The chat window is driven with keys and the
// mouse only; what is checked is what can be seen from outside: windows and their pictures, each
// client's encrypted database and the server's record of requests and publishes.
#include "common/appclient.h"
#include "common/devserver.h"
#include "common/sqlcipherfile.h"
#include "common/typed.h"
#include "common/wait.h"
#include "common/xsession.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QtTest>

#include <memory>

namespace {
const QString kAvaAccount = QStringLiteral("avastone");
const QString kBenAccount = QStringLiteral("bencarter");
// The chat window's known layout, from its size: a 56-pixel title bar and a 36-pixel tool bar with
// the room menu button at its right end above the conversation, the message box (131 pixels) under.
class ChatLayout
{
public:
    explicit ChatLayout(const QRect& window) : m_size(window.size()) {}
    QPoint menuButton() const { return QPoint(m_size.width() - 20, kTop - 18); }
    QRect conversation() const
    {
        return QRect(0, kTop, m_size.width(), m_size.height() - kTop - kMessageBox);
    }
    QPoint viewPoint() const { return conversation().center(); }
    // Above the scroll bar: the first rows in view and the last ones.
    QRect viewTop() const { return QRect(2, kTop + 3, m_size.width() - 26, 200); }
    QRect viewBottom() const
    {
        return QRect(2, conversation().bottom() - 69, m_size.width() - 26, 68);
    }
    // The "Save" link under the first file bubble of a conversation, and under the second.
    QPoint firstSaveLink() const { return QPoint(75, kTop + 119); }
    QPoint secondSaveLink() const { return QPoint(75, kTop + 119 + 99); }
    // The transfer button (sending, or resend after a failure) under the first bubble of a
    // conversation when it is the user's own.
    QPoint firstOwnTransferButton() const { return QPoint(m_size.width() - 286, kTop + 104); }
    // A point inside the message box.
    QPoint messageBox() const { return QPoint(m_size.width() / 2, m_size.height() - 85); }

private:
    static constexpr int kTop = 92;
    static constexpr int kMessageBox = 131;
    QSize m_size;
};

// From the message box, where a chat window opens with the focus: Tab reaches the file button, the
// picture button after it.
const QString kFileButtonKeys = QStringLiteral("Tab space");
const QString kPictureButtonKeys = QStringLiteral("Tab Tab space");
// In the invitation dialog (600 x 470): the first person's check from the top left, the OK button
// from the bottom right.
const QPoint kFirstInviteRow(32, 115);
const QSize kInviteOkFromCorner(140, 24);

QByteArray sha256Of(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
               ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
               : QByteArray();
}

// A file with the content in the folder; its path, empty when it could not be written.
QString makeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& content)
{
    QFile file(dir.filePath(name));
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size()
               ? file.fileName()
               : QString();
}

// A picture that shrinks when scaled down: smooth colours.
QImage makePicture(const QSize& size)
{
    QImage picture(size, QImage::Format_RGB32);
    QPainter painter(&picture);
    QLinearGradient gradient(0, 0, size.width(), size.height());
    gradient.setColorAt(0, Qt::darkBlue);
    gradient.setColorAt(1, Qt::yellow);
    painter.fillRect(picture.rect(), gradient);
    return picture;
}

// Paging back through the server's history.
struct Paging
{
    int requests = 0;
    qint64 firstTime = -1;
    bool olderEachTime = false;
    qint64 storedHistory = 0;
    MT_TYPED(Paging, requests, firstTime, olderEachTime, storedHistory)
};

// A text typed by one client as the server keeps it and both databases hold it.
struct SentText
{
    QString kept;
    QString received;
    QString receivedState;
    QString senderState;
    QString readBefore;
    QString readAfter;
    QStringList readers;
    MT_TYPED(SentText, kept, received, receivedState, senderState, readBefore, readAfter, readers)
};

// Chats that arrived while the conversation was scrolled up.
struct ScrolledUp
{
    qint64 stored = 0;
    bool topUnchanged = false;
    MT_TYPED(ScrolledUp, stored, topUnchanged)
};

// A member who left a room, seen by everybody.
struct Left
{
    bool windowGone = false;
    bool stillMember = true;
    int leavePublished = 0;
    bool requestAfterLeave = false;
    qint64 roomRows = -1;
    qint64 chatRows = -1;
    qint64 othersNotices = 0;
    MT_TYPED(Left, windowGone, stillMember, leavePublished, requestAfterLeave, roomRows, chatRows,
             othersNotices)
};

// A person added to a room.
struct Invited
{
    QStringList requests; // "<method> <members>"
    int admissions = 0;
    int windowsNamingThem = 0;
    MT_TYPED(Invited, requests, admissions, windowsNamingThem)
};

// A draft left in a room's window, sent after the program was killed and started again.
struct Draft
{
    QString stored;
    QStringList kept;
    qint64 draftsAfterSend = -1;
    MT_TYPED(Draft, stored, kept, draftsAfterSend)
};

// A chat typed while the server was away, after the program was killed and started again.
struct Outboxed
{
    QString stateBeforeKill;
    QString stateAfterUnlock;
    qint64 received = -1;
    bool kept = false;
    MT_TYPED(Outboxed, stateBeforeKill, stateAfterUnlock, received, kept)
};

// A room's window when the lock came during its upload.
struct Locked
{
    bool windowGone = false;
    bool running = false;
    qint64 storedState = -1;
    int filesPublished = -1;
    int uploadsBegun = 0;
    bool uploadUnanswered = false;
    MT_TYPED(Locked, windowGone, running, storedState, filesPublished, uploadsBegun,
             uploadUnanswered)
};

// A download that failed.
struct FailedSave
{
    bool told = false;
    QStringList leftBehind;
    QVector<int> answers;
    MT_TYPED(FailedSave, told, leftBehind, answers)
};

// A picture sent by one client as the server received it and the other client keeps it.
struct SentPicture
{
    QString uploadWidth;
    bool uploadSmaller = false;
    qint64 receivedType = -1;
    bool thumbnailCached = false;
    MT_TYPED(SentPicture, uploadWidth, uploadSmaller, receivedType, thumbnailCached)
};

// Files saved from a room: their names in the documents folder and whether each is the sent file
// byte for byte.
struct SavedFiles
{
    QStringList names;
    QVector<bool> equal;
    MT_TYPED(SavedFiles, names, equal)
};

// A file whose send broke while the server was paused, resent from its bubble.
struct Resent
{
    qint64 stateOnReopen = -1;
    int keptFiles = 0;
    QString keptName;
    qint64 storedState = -1;
    MT_TYPED(Resent, stateOnReopen, keptFiles, keptName, storedState)
};
} // namespace

class TestChatScenarios : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // Without a window manager no window is ever named active.
        m_x = std::make_unique<XSession>(true, true);
        QVERIFY2(m_x->isValid(), qPrintable(m_x->errorString()));
        QVERIFY2(m_server.start(), qPrintable(m_server.errorString()));
        // The server keeps the history: the window pages back through it.
        m_server.control("POST", QStringLiteral("/control/options"), QJsonObject{{"950", "1"}});
        m_avaId = m_server.addUser(QStringLiteral("Ava Stone"), kAvaAccount);
        m_benId = m_server.addUser(QStringLiteral("Ben Carter"), kBenAccount);
        m_pagingRoom = addRoom(QStringLiteral("Cleo Page"), QStringLiteral("cleopage"));
        m_textRoom = addRoom(QStringLiteral("Dan Ford"), QStringLiteral("danford"));
        m_leaveRoom = addRoom(QStringLiteral("Eve Moss"), QStringLiteral("evemoss"));
        m_fileRoom = addRoom(QStringLiteral("Fay Lane"), QStringLiteral("faylane"));
        m_uploadRoom = addRoom(QStringLiteral("Gus Hale"), QStringLiteral("gushale"));
        m_pictureRoom = addRoom(QStringLiteral("Ivy Park"), QStringLiteral("ivypark"));
        m_twiceRoom = addRoom(QStringLiteral("Jay Quinn"), QStringLiteral("jayquinn"));
        m_resendRoom = addRoom(QStringLiteral("Kay Rowe"), QStringLiteral("kayrowe"));
        m_draftRoom = addRoom(QStringLiteral("Lou Mars"), QStringLiteral("loumars"));
        m_outboxRoom = addRoom(QStringLiteral("Mia Nash"), QStringLiteral("mianash"));
        m_halId = m_server.addUser(QStringLiteral("Hal Ives"), QStringLiteral("halives"));
        DevHistoryRequest history;
        history.roomId = m_pagingRoom.roomId;
        history.count = 180;
        QCOMPARE(m_server.appendHistory(history).total, 180);
        m_ava = std::make_unique<AppClient>(*m_x, m_server, QStringLiteral("ava"));
        m_ben = std::make_unique<AppClient>(*m_x, m_server, QStringLiteral("ben"));
        QVERIFY(!m_ava->logIn(kAvaAccount, 0).isEmpty());
        QVERIFY(!m_ben->logIn(kBenAccount, 640).isEmpty());
    }

    void cleanupTestCase()
    {
        m_ava.reset();
        m_ben.reset();
        m_x.reset();
    }

    // A room opened on an empty profile fills itself from the server's history as the user scrolls
    // up: four pages of 50, each older than the last, and nothing more once the oldest came.
    void pagesBackThroughServerHistory()
    {
        const qint64 roomId = m_pagingRoom.roomId;
        m_pagingWindow = m_ava->openRoom(QStringLiteral("Cleo Page"));
        QVERIFY(!m_pagingWindow.isEmpty());
        const QPoint view = layoutOf(*m_ava, m_pagingWindow).viewPoint();
        QVERIFY(waitUntil(
            [&] {
                m_ava->click(m_pagingWindow, view, 4, 5);
                return savechatlistTimes(roomId).size() >= 4;
            },
            60000));
        // Scrolling on at the top asks for nothing more; a chat sent afterwards marks the end.
        QVERIFY(m_ava->click(m_pagingWindow, view, 4, 10));
        const QString sentinel = QStringLiteral("after paging");
        QVERIFY(m_ava->typeInto(m_pagingWindow, sentinel, QStringLiteral("Return")));
        QVERIFY(waitUntil(
            [&] { return m_server.history(roomId, 1).last()["contents"].toString() == sentinel; }));

        const QStringList times = savechatlistTimes(roomId);
        bool older = times.size() > 1;
        for (int i = 2; i < times.size(); ++i)
            older = older && times.at(i).toLongLong() < times.at(i - 1).toLongLong();
        const Paging seen{int(times.size()), times.value(0).toLongLong(), older,
                          avaStore().number(QStringLiteral("SELECT count(*) FROM TTT_CHATT WHERE "
                                                           "topic='%1' AND msg_id LIKE '%-hist-%'")
                                                .arg(m_pagingRoom.topic))};
        QCOMPARE(seen, (Paging{4, 0, true, 180}));
    }

    // A text typed into one client reaches the server as typed and the other client's database; the
    // sender's read count for it rises and its reader is stored when the other member opens it.
    void textReachesOtherClientAndIsRead()
    {
        const qint64 roomId = m_textRoom.roomId;
        const QString text = QStringLiteral("<b>hi</b> https://example.org/");
        const QString window = m_ava->openRoom(QStringLiteral("Dan Ford"));
        QVERIFY(!window.isEmpty());
        QVERIFY(m_ava->typeInto(window, text, QStringLiteral("Return")));
        QVERIFY(waitUntil([&] { return !m_server.history(roomId, 1).isEmpty(); }));
        const QJsonObject kept = m_server.history(roomId, 1).last().toObject();
        const QString id = kept["messageId"].toString();
        const QString row = QStringLiteral("SELECT content, msg_state, count FROM TTT_CHATT WHERE "
                                           "msg_id='%1'")
                                .arg(id);
        const SqlCipherFile avaDb = avaStore();
        const SqlCipherFile benDb = benStore();
        QVERIFY(waitUntil([&] { return benDb.rows(row).size() == 1; }));
        QVERIFY(waitUntil([&] { return avaDb.rows(row).value(0).value(1) == QLatin1String("1"); }));
        const QStringList before = avaDb.rows(row).value(0);

        QVERIFY(!m_ben->openRoom(QStringLiteral("Dan Ford")).isEmpty());
        const QString readers =
            QStringLiteral("SELECT reader_id FROM TTT_CHATT_READER WHERE msg_id='%1'").arg(id);
        QVERIFY(waitUntil([&] { return !avaDb.rows(readers).isEmpty(); }));
        const QStringList received = benDb.rows(row).value(0);
        const SentText seen{kept["contents"].toString(),
                            received.value(0),
                            received.value(1),
                            before.value(1),
                            before.value(2),
                            avaDb.rows(row).value(0).value(2),
                            avaDb.column(readers)};
        QCOMPARE(seen, (SentText{text, text, QStringLiteral("1"), QStringLiteral("1"),
                                 QStringLiteral("0"), QStringLiteral("1"),
                                 QStringList{QString::number(m_benId)}}));
    }

    // Chats that arrive while the reader is scrolled up are stored and announced at the bottom of
    // the conversation, while the rows in view stay where they are.
    void chatsArriveWhileScrolledUp()
    {
        QVERIFY(!m_pagingWindow.isEmpty());
        // Other chat windows opened since lie at the same place: this one comes to the top first.
        QVERIFY(m_ava->typeInto(m_pagingWindow, QString(), QString()));
        const ChatLayout layout = layoutOf(*m_ava, m_pagingWindow);
        QVERIFY(m_ava->click(m_pagingWindow, layout.viewPoint(), 4, 40));
        QImage top;
        QImage bottom;
        QVERIFY(steady(*m_ava, m_pagingWindow, layout.viewTop(), &top));
        QVERIFY(steady(*m_ava, m_pagingWindow, layout.viewBottom(), &bottom));
        QStringList ids;
        for (int i = 1; i <= 3; ++i)
            ids << m_server.chat(m_pagingRoom.roomId, m_benId,
                                 QStringLiteral("while scrolled up %1").arg(i));
        const SqlCipherFile db = avaStore();
        const QString stored = QStringLiteral("SELECT count(*) FROM TTT_CHATT WHERE topic='%1' AND "
                                              "msg_id IN ('%2')")
                                   .arg(m_pagingRoom.topic, ids.join(QStringLiteral("','")));
        QVERIFY(waitUntil([&] { return db.number(stored) == 3; }));
        // The new-message bar changes the bottom of the view.
        QVERIFY(
            waitUntil([&] { return m_ava->grab(m_pagingWindow, layout.viewBottom()) != bottom; }));
        QImage after;
        QVERIFY(steady(*m_ava, m_pagingWindow, layout.viewTop(), &after));
        const ScrolledUp seen{db.number(stored), after == top};
        QCOMPARE(seen, (ScrolledUp{3, true}));
    }

    // Leaving through the room menu: the leave notice goes out before the server drops the member,
    // the window closes, the room goes from the leaver's database and the other member is told.
    void leaveSeenByOthers()
    {
        const qint64 roomId = m_leaveRoom.roomId;
        const QString topic = m_leaveRoom.topic;
        const QString window = m_ava->openRoom(QStringLiteral("Eve Moss"));
        QVERIFY(!window.isEmpty());
        const qint64 publishedSince = m_server.lastPublishedSeq();
        const QStringList before = m_ava->visibleWindows();
        QVERIFY(m_ava->click(window, layoutOf(*m_ava, window).menuButton()));
        const QString menu = m_ava->awaitNewWindow(before);
        QVERIFY(!menu.isEmpty());
        // Up from nothing chosen picks the last entry, "Leave".
        QVERIFY(m_ava->keyToActive(QStringLiteral("Up Return")));
        const QString question = m_ava->awaitNewWindow(before, {menu});
        QVERIFY(!question.isEmpty());
        QVERIFY(m_ava->typeInto(question, QString(), QStringLiteral("Return")));
        const QString leaveRequest =
            QStringLiteral("/rest/chatt/room/member/%1/%2/").arg(m_avaId).arg(roomId);
        QVERIFY(waitUntil([&] { return !m_server.requests(leaveRequest).isEmpty(); }));
        const SqlCipherFile avaDb = avaStore();
        const SqlCipherFile benDb = benStore();
        const QString notices =
            QStringLiteral("SELECT count(*) FROM TTT_CHATT WHERE topic='%1' AND msg_type=5")
                .arg(topic);
        QVERIFY(waitUntil([&] { return benDb.number(notices) > 0; }));
        QVERIFY(waitUntil([&] { return m_ava->windows(QStringLiteral("Eve Moss")).isEmpty(); }));

        int leaves = 0;
        qint64 leaveTime = 0;
        for (const DevPublished& p : m_server.published(publishedSince)) {
            leaves += p.type == 5 && p.topic == topic && p.userId == m_avaId ? 1 : 0;
            leaveTime = p.type == 5 && p.topic == topic ? p.time : leaveTime;
        }
        const qint64 requestTime =
            m_server.requests(leaveRequest).first()["time"].toVariant().toLongLong();
        const Left seen{
            m_ava->windows(QStringLiteral("Eve Moss")).isEmpty(),
            roomHasMember(roomId, m_avaId),
            leaves,
            leaveTime > 0 && leaveTime <= requestTime,
            avaDb.number(
                QStringLiteral("SELECT count(*) FROM TTT_CHATT_ROOM WHERE topic='%1'").arg(topic)),
            avaDb.number(
                QStringLiteral("SELECT count(*) FROM TTT_CHATT WHERE topic='%1'").arg(topic)),
            benDb.number(notices)};
        QCOMPARE(seen, (Left{true, false, 1, true, 0, 0, 1}));
    }

    // A file whose download fails is told in a box and leaves no file behind, not even the empty
    // one reserved for its name.
    void failedDownloadLeavesNoFile()
    {
        QVERIFY(!m_server
                     .chat(m_fileRoom.roomId, m_avaId, QStringLiteral("quarterly figures\n"),
                           QJsonObject{{"contentType", 4}, {"fileName", "figures.txt"}})
                     .isEmpty());
        QVERIFY(m_server.fail(DevFault::error(QStringLiteral("/files"), 404)));
        const QString window = m_ben->openRoom(QStringLiteral("Fay Lane"));
        QVERIFY(!window.isEmpty());
        const QStringList before = m_ben->visibleWindows();
        const qint64 filesSince = m_server.lastRequestSeq();
        QVERIFY(m_ben->click(window, layoutOf(*m_ben, window).firstSaveLink()));
        const QString box = m_ben->awaitNewWindow(before);
        const QStringList leftBehind = m_ben->savedFiles();
        QVERIFY(m_ben->typeInto(box, QString(), QStringLiteral("Return")));
        QVERIFY(waitUntil([&] { return !m_ben->visibleWindows().contains(box); }));

        QVERIFY(m_server.clearFault());
        QVector<int> answers;
        for (const QJsonValue& r : m_server.requests(QStringLiteral("/files/"), filesSince))
            answers << r["status"].toInt();
        const FailedSave seen{!box.isEmpty(), leftBehind, answers};
        QCOMPARE(seen, (FailedSave{true, QStringList(), QVector<int>{404}}));
    }

    // A member added through the room menu's invitation dialog: the server is asked once for that
    // person, the others are told by an admission notice, and the window's title names them.
    void inviteReachesServer()
    {
        const QString window = m_ava->openRoom(QStringLiteral("Dan Ford"));
        QVERIFY(!window.isEmpty());
        const QStringList before = m_ava->visibleWindows();
        QVERIFY(m_ava->click(window, layoutOf(*m_ava, window).menuButton()));
        const QString menu = m_ava->awaitNewWindow(before);
        QVERIFY(!menu.isEmpty());
        QVERIFY(m_ava->keyToActive(QStringLiteral("Down Return")));
        const QString dialog = m_ava->awaitNewWindow(before, {menu});
        QVERIFY(!dialog.isEmpty());
        QVERIFY(m_ava->typeInto(dialog, QStringLiteral("Hal Ives"), QString()));
        const qint64 requestsSince = m_server.lastRequestSeq();
        const qint64 publishedSince = m_server.lastPublishedSeq();
        const QRect dialogPlace = m_ava->geometry(dialog);
        QVERIFY(m_ava->click(dialog, kFirstInviteRow));
        QVERIFY(m_ava->click(dialog, QPoint(dialogPlace.width() - kInviteOkFromCorner.width(),
                                            dialogPlace.height() - kInviteOkFromCorner.height())));
        QVERIFY(waitUntil([&] { return roomHasMember(m_textRoom.roomId, m_halId); }));
        const QString topic = m_textRoom.topic;
        const auto admissions = [&] {
            int count = 0;
            for (const DevPublished& p : m_server.published(publishedSince))
                count += p.type == 4 && p.topic == topic && p.userId == m_avaId ? 1 : 0;
            return count;
        };
        QVERIFY(waitUntil([&] { return admissions() > 0; }));
        QStringList invited;
        for (const QJsonValue& r :
             m_server.requests(QStringLiteral("/rest/chatt/room/member"), requestsSince))
            invited << r["method"].toString() + QLatin1Char(' ') +
                           r["form"]["members"].toVariant().toStringList().join(QLatin1Char(','));
        // The title follows the room's answer on its own turn: its change is the sentinel.
        waitUntil([&] { return !m_ava->windows(QStringLiteral("Hal Ives")).isEmpty(); });
        const Invited seen{invited, admissions(),
                           int(m_ava->windows(QStringLiteral("Hal Ives")).size())};
        QCOMPARE(seen, (Invited{{QStringLiteral("POST %1").arg(m_halId)}, 1, 1}));
    }

    // A picture sent with the picture button goes up scaled to 1024 pixels wide and smaller than
    // the original; the other member stores it as a picture and caches the server's thumbnail of
    // it, byte for byte.
    void pictureReachesOtherClient()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("view.png"));
        QVERIFY(makePicture(QSize(2000, 1500)).save(path, "PNG"));
        const qint64 roomId = m_pictureRoom.roomId;
        const QString window = m_ava->openRoom(QStringLiteral("Ivy Park"));
        QVERIFY(!window.isEmpty());
        const qint64 since = m_server.lastRequestSeq();
        QVERIFY(pickFile(*m_ava, window, kPictureButtonKeys, path));
        QVERIFY(waitUntil([&] { return keptOfType(roomId, 2).size() == 1; }));
        const QJsonObject kept = keptOfType(roomId, 2).first().toObject();
        const QString thumbnail =
            QJsonDocument::fromJson(kept["contents"].toString().toUtf8())["remote_thumb_url"]
                .toString()
                .section(QLatin1Char('/'), -1);
        QVERIFY(!thumbnail.isEmpty());
        QVERIFY(!m_ben->openRoom(QStringLiteral("Ivy Park")).isEmpty());
        const QString cached = m_ben->cacheDir() + QLatin1Char('/') + thumbnail;
        const QByteArray served =
            sha256Of(m_server.dataDir() + QStringLiteral("/files/") + thumbnail);
        QVERIFY(waitUntil([&] { return sha256Of(cached) == served; }));

        const QJsonObject upload =
            m_server.requests(QStringLiteral("/rest/file/chat"), since).first().toObject();
        const SentPicture seen{
            upload["form"]["width"].toString(),
            upload["file"]["size"].toVariant().toLongLong() < QFileInfo(path).size(),
            benStore().number(QStringLiteral("SELECT content_type FROM TTT_CHATT WHERE msg_id='%1'")
                                  .arg(kept["messageId"].toString())),
            !served.isEmpty() && sha256Of(cached) == served};
        QCOMPARE(seen, (SentPicture{QStringLiteral("1024"), true, 2, true}));
    }

    // The same file sent twice and saved from both bubbles by the other member: the second copy
    // gets a name of its own, and both are the sent file.
    void fileSentTwiceIsSavedTwice()
    {
        QTemporaryDir dir;
        QByteArray content = QByteArrayLiteral("%PDF-1.4\n");
        for (int i = 0; content.size() < 300 * 1024; ++i)
            content += QByteArray::number(i * 7919) + ' ';
        const QString path = makeFile(dir, QStringLiteral("x.pdf"), content);
        QVERIFY(!path.isEmpty());
        const qint64 roomId = m_twiceRoom.roomId;
        const QString window = m_ava->openRoom(QStringLiteral("Jay Quinn"));
        QVERIFY(!window.isEmpty());
        QVERIFY(pickFile(*m_ava, window, kFileButtonKeys, path));
        QVERIFY(waitUntil([&] { return keptOfType(roomId, 4).size() == 1; }));
        QVERIFY(pickFile(*m_ava, window, kFileButtonKeys, path));
        QVERIFY(waitUntil([&] { return keptOfType(roomId, 4).size() == 2; }));

        const QString benWindow = m_ben->openRoom(QStringLiteral("Jay Quinn"));
        QVERIFY(!benWindow.isEmpty());
        const ChatLayout layout = layoutOf(*m_ben, benWindow);
        QVERIFY(m_ben->click(benWindow, layout.firstSaveLink()));
        QVERIFY(waitUntil([&] { return m_ben->savedFiles().size() == 1; }));
        QVERIFY(m_ben->click(benWindow, layout.secondSaveLink()));
        const QString folder = m_ben->documentsDir() + QStringLiteral("/PLOVEX(Chat)/");
        const QStringList expectedNames{folder + QStringLiteral("x(1).pdf"),
                                        folder + QStringLiteral("x.pdf")};
        const QByteArray sent = sha256Of(path);
        const auto saved = [&] {
            return SavedFiles{
                m_ben->savedFiles(),
                {sha256Of(expectedNames.at(0)) == sent, sha256Of(expectedNames.at(1)) == sent}};
        };
        const SavedFiles expected{expectedNames, {true, true}};
        QVERIFY(waitUntil([&] { return saved() == expected; }));
        QCOMPARE(saved(), expected);
    }

    // A file sent while the server is paused, its window closed before any answer: reopened after
    // the server is back, its bubble offers the resend, and the resend delivers it. Ben sends it:
    // whatever the broken send leaves behind stays away from Ava's lock that follows.
    void sendBrokenByPausedServerIsResent()
    {
        QTemporaryDir dir;
        const QString path =
            makeFile(dir, QStringLiteral("minutes.txt"), QByteArray(8 * 1024, 'm'));
        QVERIFY(!path.isEmpty());
        const qint64 roomId = m_resendRoom.roomId;
        const QString window = m_ben->openRoom(QStringLiteral("Kay Rowe"));
        QVERIFY(!window.isEmpty());
        const SqlCipherFile db = benStore();
        const QString state = QStringLiteral("SELECT msg_state FROM TTT_CHATT WHERE topic='%1' AND "
                                             "content_type=4")
                                  .arg(m_resendRoom.topic);
        QVERIFY(m_server.pause());
        const bool picked = pickFile(*m_ben, window, kFileButtonKeys, path);
        // Uploading, with no answer to come.
        const bool uploading = waitUntil([&] { return db.number(state) == 3; });
        const bool closed =
            m_ben->typeInto(window, QString(), QStringLiteral("ctrl+w")) &&
            waitUntil([&] { return m_ben->windows(QStringLiteral("Kay Rowe")).isEmpty(); });
        QVERIFY(m_server.resume());
        QVERIFY(picked);
        QVERIFY(uploading);
        QVERIFY(closed);

        const QString reopened = m_ben->openRoom(QStringLiteral("Kay Rowe"));
        QVERIFY(!reopened.isEmpty());
        // The window closed before any answer stored the chat failed as it went; the reopened
        // window shows it so, with its resend.
        const qint64 stateOnReopen = db.number(state);
        QVERIFY(m_ben->click(reopened, layoutOf(*m_ben, reopened).firstOwnTransferButton()));
        QVERIFY(waitUntil([&] { return keptOfType(roomId, 4).size() == 1; }));
        QVERIFY(waitUntil([&] { return db.number(state) == 1; }));
        const QJsonObject kept = keptOfType(roomId, 4).first().toObject();
        const Resent seen{
            stateOnReopen, int(keptOfType(roomId, 4).size()),
            QJsonDocument::fromJson(kept["contents"].toString().toUtf8())["file_name"].toString(),
            db.number(state)};
        QCOMPARE(seen, (Resent{5, 1, QStringLiteral("minutes.txt"), 1}));
    }

    // Return in a room's search box searches and sends nothing; the text left in the room's input
    // box is kept as its draft when the window closes. A chat typed while the server is away
    // stays stored as sending. The program is killed (SIGKILL) and started again; once the user
    // unlocks it the chat goes out without its room being opened (the sender's copy confirmed,
    // the other member holding it once), and the draft is there when its room opens: sent with
    // Return, it is the one chat the server keeps of that room, and no draft is left.
    void chatTypedOfflineAndDraftSurviveKill()
    {
        const QString draft = QStringLiteral("kept as a draft");
        const QString drafts =
            QStringLiteral("SELECT content FROM TTT_DRAFT WHERE topic='%1'").arg(m_draftRoom.topic);
        QString draftWindow = m_ben->openRoom(QStringLiteral("Lou Mars"));
        QVERIFY(!draftWindow.isEmpty());
        QVERIFY(m_ben->typeInto(draftWindow, draft, QStringLiteral("ctrl+f")));
        QVERIFY(m_ben->typeInto(draftWindow, QStringLiteral("draft"), QStringLiteral("Return")));
        QVERIFY(m_ben->typeInto(draftWindow, QString(), QStringLiteral("Escape ctrl+w")));
        QVERIFY(waitUntil(
            [&] { return !m_ben->windows(QStringLiteral("Lou Mars")).contains(draftWindow); }));
        const SqlCipherFile db = benStore();
        const QString storedDraft = db.column(drafts).value(0);

        const QString text = QStringLiteral("typed while the server was away");
        const QString row = QStringLiteral("SELECT msg_state FROM TTT_CHATT WHERE topic='%1' AND "
                                           "content='%2'")
                                .arg(m_outboxRoom.topic, text);
        const QString window = m_ben->openRoom(QStringLiteral("Mia Nash"));
        QVERIFY(!window.isEmpty());
        QVERIFY(m_server.pause());
        const bool typed = m_ben->typeInto(window, text, QStringLiteral("Return"));
        const bool stored = waitUntil([&] { return !db.column(row).isEmpty(); });
        const QString stateBeforeKill = db.column(row).value(0);
        m_ben->process().kill();
        const bool killed = m_ben->process().waitForFinished(10000);
        QVERIFY(m_server.resume());
        QVERIFY(typed && stored && killed);

        // A stored session: the lock page, whose field takes the password.
        QVERIFY(m_ben->start());
        QVERIFY(m_ben->placeAt(640));
        QVERIFY(m_ben->click(m_ben->mainWindow(), QPoint(180, 330)));
        QVERIFY(
            m_ben->typeInto(m_ben->mainWindow(), DevServer::kPassword, QStringLiteral("Return")));
        QVERIFY(waitUntil([&] { return db.column(row).value(0) == QLatin1String("1"); }, 60000));
        const SqlCipherFile ava = avaStore();
        const QString received =
            QStringLiteral("SELECT count(*) FROM TTT_CHATT WHERE topic='%1' AND "
                           "content='%2'")
                .arg(m_outboxRoom.topic, text);
        QVERIFY(waitUntil([&] { return ava.number(received) > 0; }));
        bool kept = false;
        for (const QJsonValue& chat : m_server.history(m_outboxRoom.roomId, 5))
            kept = kept || chat["contents"].toString() == text;
        QCOMPARE((Outboxed{stateBeforeKill, db.column(row).value(0), ava.number(received), kept}),
                 (Outboxed{QStringLiteral("0"), QStringLiteral("1"), 1, true}));

        draftWindow = m_ben->openRoom(QStringLiteral("Lou Mars"));
        QVERIFY(!draftWindow.isEmpty());
        QVERIFY(m_ben->typeInto(draftWindow, QString(), QStringLiteral("Return")));
        QVERIFY(waitUntil([&] { return !m_server.history(m_draftRoom.roomId, 5).isEmpty(); }));
        QVERIFY(waitUntil(
            [&] { return db.number(QStringLiteral("SELECT count(*) FROM TTT_DRAFT")) == 0; }));
        QStringList keptDrafts;
        for (const QJsonValue& chat : m_server.history(m_draftRoom.roomId, 5))
            keptDrafts << chat["contents"].toString();
        QCOMPARE((Draft{storedDraft, keptDrafts,
                        db.number(QStringLiteral("SELECT count(*) FROM TTT_DRAFT"))}),
                 (Draft{draft, QStringList{draft}, 0}));
    }

    // The lock taken from the tray menu while a file is still uploading closes the room's window
    // and ends the upload with it: the stored chat shows it failed, nothing reaches the other
    // members, and the program keeps running behind its lock page. Last: the lock stays.
    void lockDuringUploadClosesRoom()
    {
        QTemporaryDir dir;
        const QString path = makeFile(dir, QStringLiteral("plan.bin"), QByteArray(400 * 1024, 'x'));
        QVERIFY(!path.isEmpty());
        // Slow enough that the upload is still running when the lock comes.
        QVERIFY(m_server.setRate(16 * 1024, QStringLiteral("/rest/file/chat")));
        const QString window = m_ava->openRoom(QStringLiteral("Gus Hale"));
        QVERIFY(!window.isEmpty());
        const qint64 uploadsSince = m_server.lastRequestSeq();
        QVERIFY(pickFile(*m_ava, window, kFileButtonKeys, path));
        const SqlCipherFile db = avaStore();
        const QString state = QStringLiteral("SELECT msg_state FROM TTT_CHATT WHERE topic='%1' AND "
                                             "content_type=4")
                                  .arg(m_uploadRoom.topic);
        QVERIFY(waitUntil([&] { return db.rows(state).size() == 1; }));

        const qint64 publishedSince = m_server.lastPublishedSeq();
        // The tray menu logged in: Open, Lock Mode, Log off, Exit.
        QVERIFY(m_ava->pickTrayEntry(3));
        QVERIFY(waitUntil([&] { return m_ava->windows(QStringLiteral("Gus Hale")).isEmpty(); }));
        // The upload ends with its window: the stored chat turns to failed.
        QVERIFY(waitUntil([&] { return db.number(state) == 5; }));
        int filesPublished = 0;
        for (const DevPublished& p : m_server.published(publishedSince))
            filesPublished += p.topic == m_uploadRoom.topic && p.contentType == 4 ? 1 : 0;
        const QJsonArray uploads =
            m_server.requests(QStringLiteral("/rest/file/chat"), uploadsSince);
        const Locked seen{m_ava->windows(QStringLiteral("Gus Hale")).isEmpty(),
                          m_ava->isRunning(),
                          db.number(state),
                          filesPublished,
                          int(uploads.size()),
                          uploads.first()["status"].isNull()};
        QCOMPARE(seen, (Locked{true, true, 5, 0, 1, true}));
    }

private:
    bool roomHasMember(qint64 roomId, qint64 userId)
    {
        for (const DevRoom& room : m_server.rooms(m_benId)) {
            if (room.roomId == roomId)
                return room.memberIds.contains(userId);
        }
        return false;
    }

    QStringList savechatlistTimes(qint64 roomId)
    {
        QStringList times;
        for (const QJsonValue& r :
             m_server.requests(QStringLiteral("/rest/chatt/room/savechatlist/%1/").arg(roomId)))
            times << r["path"].toString().section(QLatin1Char('/'), 6, 6);
        return times;
    }

    // The chats of a content type the server keeps for a room, oldest first.
    QJsonArray keptOfType(qint64 roomId, int contentType)
    {
        QJsonArray out;
        for (const QJsonValue& chat : m_server.history(roomId)) {
            if (chat["contentType"].toInt() == contentType)
                out.append(chat);
        }
        return out;
    }

    // Two pictures in a row alike: the window has finished drawing.
    bool steady(AppClient& client, const QString& window, const QRect& part, QImage* picture)
    {
        QImage last;
        return waitUntil([&] {
            *picture = client.grab(window, part);
            const bool same = !picture->isNull() && *picture == last;
            last = *picture;
            return same;
        });
    }

    // Opens the file dialog with the keys from the message box and picks the file by its path.
    bool pickFile(AppClient& client, const QString& window, const QString& keys,
                  const QString& path)
    {
        const QStringList before = client.visibleWindows();
        // The focus may have stayed on a button since the last file.
        if (!client.click(window, layoutOf(client, window).messageBox()) ||
            !client.typeInto(window, QString(), keys))
            return false;
        const QString picker = client.awaitNewWindow(before);
        if (picker.isEmpty())
            return false;
        const auto gone = [&] { return !client.visibleWindows().contains(picker); };
        QImage empty;
        QImage typed;
        // The file name field holds the whole path once the picture stops changing after the
        // typing; a Return the name completer's list takes leaves the picker open for another.
        const bool picked =
            steady(client, picker, QRect(), &empty) && client.typeInto(picker, path, QString()) &&
            waitUntil([&] { return steady(client, picker, QRect(), &typed) && typed != empty; }) &&
            client.keyToActive(QStringLiteral("Return")) &&
            (waitUntil(gone, 5000) ||
             (client.typeInto(picker, QString(), QStringLiteral("Return")) &&
              waitUntil(gone, 5000)));
        // A picker left open would take every key and click meant for the windows behind it.
        if (!picked && !gone())
            client.typeInto(picker, QString(), QStringLiteral("Escape"));
        return picked;
    }

    // A one-to-many room made by Ava with Ben and one more member, named after that member.
    DevRoom addRoom(const QString& name, const QString& account)
    {
        return m_server.addRoom(m_avaId, {m_benId, m_server.addUser(name, account)});
    }
    SqlCipherFile avaStore() const { return m_ava->store(kAvaAccount); }
    SqlCipherFile benStore() const { return m_ben->store(kBenAccount); }
    // The layout of a window of a client as it is now.
    static ChatLayout layoutOf(const AppClient& client, const QString& window)
    {
        return ChatLayout(client.geometry(window));
    }

    std::unique_ptr<XSession> m_x;
    DevServer m_server;
    std::unique_ptr<AppClient> m_ava;
    std::unique_ptr<AppClient> m_ben;
    qint64 m_avaId = 0, m_benId = 0, m_halId = 0;
    // One room of Ava, Ben and a third member per scenario, named after that member.
    DevRoom m_pagingRoom, m_textRoom, m_leaveRoom, m_fileRoom, m_uploadRoom, m_pictureRoom,
        m_twiceRoom, m_resendRoom, m_draftRoom, m_outboxRoom;
    QString m_pagingWindow;
};

QTEST_GUILESS_MAIN(TestChatScenarios)
#include "tst_chatscenarios.moc"
