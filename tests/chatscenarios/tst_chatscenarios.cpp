// Two whole programs on one display against the reference server, driven and read from outside.
#include "common/appclient.h"
#include "common/devserver.h"
#include "common/sqlcipherfile.h"
#include "common/typed.h"
#include "common/wait.h"
#include "common/xsession.h"

#include <QCryptographicHash>
#include <QDirIterator>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPainter>
#include <QtTest>

#include <memory>

namespace {
// What waitUntil gives every step by default.
constexpr int kWait = 30000;
const QString kAva = QStringLiteral("avastone");
const QString kBen = QStringLiteral("bencarter");
// Points of the chat window from its size: a 92-pixel head (the room menu button at its right
// end) above the conversation, the 131-pixel message box under it.
struct ChatLayout
{
    static constexpr int kTop = 92;
    QSize size;
    QPoint menuButton() const { return QPoint(size.width() - 20, kTop - 18); }
    QPoint viewPoint() const { return QPoint(size.width() / 2, (kTop + size.height() - 131) / 2); }
    // The rows in view, above the scroll bar.
    QRect view() const { return QRect(2, kTop + 3, size.width() - 26, size.height() - kTop - 134); }
    // The first bubble's "Save" link (the second's 99 pixels lower).
    QPoint saveLink(int bubble) const { return QPoint(75, kTop + 119 + 99 * bubble); }
    QPoint messageBox() const { return QPoint(size.width() / 2, size.height() - 85); }
};
// From the message box: Tab reaches the file button, the picture button after it.
const QString kFileKeys = QStringLiteral("Tab space");
const QString kPictureKeys = QStringLiteral("Tab Tab space");

QByteArray sha256Of(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
               ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
               : QByteArray();
}

// Every file under the documents folder, where downloads are saved, sorted.
QStringList savedFiles(const AppClient& client)
{
    QStringList files;
    QDirIterator it(client.documentsDir(), QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    files.sort();
    return files;
}

struct Paging
{
    qint64 requests, firstTime, storedHistory;
    bool olderEachTime;
    MT_TYPED(Paging, requests, firstTime, olderEachTime, storedHistory)
};
struct SentText
{
    QString kept, received, receivedState, senderState, readCount;
    QStringList readers;
    MT_TYPED(SentText, kept, received, receivedState, senderState, readCount, readers)
};
struct Left
{
    bool windowGone, stillMember, noticeBeforeRequest;
    qint64 leavePublished, roomRows, chatRows, othersNotices;
    MT_TYPED(Left, windowGone, stillMember, leavePublished, noticeBeforeRequest, roomRows, chatRows,
             othersNotices)
};
struct Invited
{
    QStringList requests; // "<method> <members>"
    bool member;
    int admissions, windowsNamingThem;
    MT_TYPED(Invited, requests, member, admissions, windowsNamingThem)
};
struct Outboxed
{
    QStringList outboxKept, draftKept;
    qint64 received, draftsLeft;
    MT_TYPED(Outboxed, received, outboxKept, draftKept, draftsLeft)
};
struct Locked
{
    bool running, uploadUnanswered;
    qint64 storedState;
    int filesPublished, uploadsBegun;
    MT_TYPED(Locked, running, storedState, filesPublished, uploadsBegun, uploadUnanswered)
};
struct FailedSave
{
    bool told;
    QStringList leftBehind;
    QVector<int> answers;
    MT_TYPED(FailedSave, told, leftBehind, answers)
};
struct SentPicture
{
    bool uploadSmaller, thumbnailCached;
    qint64 receivedPictures;
    MT_TYPED(SentPicture, uploadSmaller, receivedPictures, thumbnailCached)
};
// Saved files' names and whether each is the sent file byte for byte.
struct SavedFiles
{
    QStringList names;
    QVector<bool> equal;
    MT_TYPED(SavedFiles, names, equal)
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
        m_avaId = m_server.addUser(QStringLiteral("Ava Stone"), kAva);
        m_benId = m_server.addUser(QStringLiteral("Ben Carter"), kBen);
        // One room of Ava, Ben and a third member per scenario, named after that member.
        for (const char* name : {"Cleo Page", "Dan Ford", "Eve Moss", "Fay Lane", "Gus Hale",
                                 "Ivy Park", "Jay Quinn", "Lou Mars", "Mia Nash"}) {
            const QString member = QString::fromUtf8(name);
            const qint64 id = m_server.addUser(member, member.toLower().remove(QLatin1Char(' ')));
            m_rooms.insert(member, m_server.addRoom(m_avaId, {m_benId, id}));
        }
        m_halId = m_server.addUser(QStringLiteral("Hal Ives"), QStringLiteral("halives"));
        QCOMPARE(m_server.appendHistory(room("Cleo Page").roomId, 180), 180);
        m_ava = std::make_unique<AppClient>(*m_x, m_server, QStringLiteral("ava"));
        m_ben = std::make_unique<AppClient>(*m_x, m_server, QStringLiteral("ben"));
        QVERIFY(!m_ava->logIn(kAva, 0).isEmpty());
        QVERIFY(!m_ben->logIn(kBen, 640).isEmpty());
    }

    // An empty profile pages back through the server's history, each page older, then stops.
    void pagesBackThroughServerHistory()
    {
        const qint64 roomId = room("Cleo Page").roomId;
        const QString pages = QStringLiteral("/rest/chatt/room/savechatlist/%1/").arg(roomId);
        const QString window = m_ava->openRoom(QStringLiteral("Cleo Page"));
        const QPoint view = layoutOf(window).viewPoint();
        QVERIFY(waitUntil(
            [&] {
                return m_ava->click(window, view, 4, 5) && m_server.requests(pages).size() >= 4;
            },
            60000));
        // Scrolling on at the top; a chat sent afterwards marks the end.
        QVERIFY(m_ava->click(window, view, 4, 10));
        const QString sentinel = QStringLiteral("after paging");
        QVERIFY(m_ava->typeInto(window, sentinel, QStringLiteral("Return")));
        QVERIFY(waitUntil(
            [&] { return m_server.history(roomId, 1).last()["contents"].toString() == sentinel; }));
        QList<qint64> times;
        for (const QJsonValue& r : m_server.requests(pages))
            times << r["path"].toString().section(QLatin1Char('/'), 6, 6).toLongLong();
        // Each page after the first asks for chats before the last one's.
        const bool older =
            times.size() > 1 &&
            std::adjacent_find(times.begin() + 1, times.end(), std::less_equal<>()) == times.end();
        const Paging seen{int(times.size()), times.value(0),
                          avaStore().number(chatsOf("Cleo Page", "msg_id LIKE '%-hist-%'")), older};
        QCOMPARE(seen, (Paging{4, 0, 180, true}));
    }

    // A text reaches the server as typed and the other client, whose opening of it is counted.
    void textReachesOtherClientAndIsRead()
    {
        const qint64 roomId = room("Dan Ford").roomId;
        const QString text = QStringLiteral("<b>hi</b> https://example.org/");
        const QString window = m_ava->openRoom(QStringLiteral("Dan Ford"));
        QVERIFY(m_ava->typeInto(window, text, QStringLiteral("Return")));
        QVERIFY(waitUntil([&] { return !m_server.history(roomId, 1).isEmpty(); }));
        const QJsonObject keptChat = m_server.history(roomId, 1).last().toObject();
        const QString id = keptChat["messageId"].toString();
        const QString row =
            QStringLiteral("SELECT content, msg_state, count FROM TTT_CHATT WHERE msg_id='%1'")
                .arg(id);
        const QString readers =
            QStringLiteral("SELECT reader_id FROM TTT_CHATT_READER WHERE msg_id='%1'").arg(id);
        QVERIFY(waitUntil([&] { return benStore().rows(row).size() == 1; }));
        QVERIFY(!m_ben->openRoom(QStringLiteral("Dan Ford")).isEmpty());
        const auto seen = [&] {
            const QStringList received = benStore().rows(row).value(0);
            const QStringList sent = avaStore().rows(row).value(0);
            return SentText{keptChat["contents"].toString(),
                            received.value(0),
                            received.value(1),
                            sent.value(1),
                            sent.value(2),
                            avaStore().column(readers)};
        };
        QTRY_COMPARE_WITH_TIMEOUT(
            seen(), (SentText{text, text, "1", "1", "1", {QString::number(m_benId)}}), kWait);
    }

    // A leave from the room menu: notice before the request, window and stored room gone, told.
    void leaveSeenByOthers()
    {
        const DevRoom left = room("Eve Moss");
        const QString window = m_ava->openRoom(QStringLiteral("Eve Moss"));
        const qint64 publishedSince = m_server.lastPublishedSeq();
        // Up from nothing chosen picks the menu's last entry, "Leave".
        const QString question = fromRoomMenu(window, QStringLiteral("Up Return"));
        QVERIFY(!question.isEmpty() && m_ava->typeInto(question, QString(), "Return"));
        const QString request =
            QStringLiteral("/rest/chatt/room/member/%1/%2/").arg(m_avaId).arg(left.roomId);
        const QString notices = chatsOf("Eve Moss", "msg_type=5");
        const QString rooms =
            QStringLiteral("SELECT count(*) FROM TTT_CHATT_ROOM WHERE topic='%1'").arg(left.topic);
        const auto seen = [&] {
            int leaves = 0;
            qint64 leaveTime = 0;
            for (const DevPublished& p : m_server.published(publishedSince)) {
                leaves += p.type == 5 && p.topic == left.topic && p.userId == m_avaId;
                leaveTime = p.type == 5 && p.topic == left.topic ? p.time : leaveTime;
            }
            // Undefined, so 0, until the request has come.
            const qint64 requestTime =
                m_server.requests(request).first()["time"].toVariant().toLongLong();
            return Left{m_ava->windows(QStringLiteral("Eve Moss")).isEmpty(),
                        roomHasMember(left.roomId, m_avaId),
                        leaveTime > 0 && leaveTime <= requestTime,
                        leaves,
                        avaStore().number(rooms),
                        avaStore().number(chatsOf("Eve Moss", "1")),
                        benStore().number(notices)};
        };
        QTRY_COMPARE_WITH_TIMEOUT(seen(), (Left{true, false, true, 1, 0, 0, 1}), kWait);
    }

    // A failed download is told and leaves no file, not even the one reserved for it.
    void failedDownloadLeavesNoFile()
    {
        QVERIFY(!m_server
                     .chat(room("Fay Lane").roomId, m_avaId, QStringLiteral("quarterly figures\n"),
                           QJsonObject{{"contentType", 4}, {"fileName", "figures.txt"}})
                     .isEmpty());
        QVERIFY(m_server.fail(DevFault::error(QStringLiteral("/files"), 404)));
        const QString window = m_ben->openRoom(QStringLiteral("Fay Lane"));
        const QStringList before = m_ben->visibleWindows();
        const qint64 filesSince = m_server.lastRequestSeq();
        QVERIFY(m_ben->click(window, layoutOf(window).saveLink(0)));
        const QString box = m_ben->awaitNewWindow(before);
        const QStringList leftBehind = savedFiles(*m_ben);
        QVERIFY(m_ben->typeInto(box, QString(), QStringLiteral("Return")));
        QVERIFY(waitUntil([&] { return !m_ben->visibleWindows().contains(box); }));
        QVERIFY(m_server.clearFault());
        QVector<int> answers;
        for (const QJsonValue& r : m_server.requests(QStringLiteral("/files/"), filesSince))
            answers << r["status"].toInt();
        QCOMPARE((FailedSave{!box.isEmpty(), leftBehind, answers}),
                 (FailedSave{true, QStringList(), QVector<int>{404}}));
    }

    // An invitation from the room menu: asked once, an admission notice, the newcomer in the title.
    void inviteReachesServer()
    {
        const QString window = m_ava->openRoom(QStringLiteral("Dan Ford"));
        const QString dialog = fromRoomMenu(window, QStringLiteral("Down Return"));
        QImage shown;
        QVERIFY(!dialog.isEmpty() && steady(dialog, QRect(), &shown));
        QVERIFY(m_ava->typeInto(dialog, QStringLiteral("Hal Ives"), QString()));
        const qint64 requestsSince = m_server.lastRequestSeq();
        const qint64 publishedSince = m_server.lastPublishedSeq();
        // The dialog (600 x 470): the first person's check, then OK at the bottom right. Each
        // waits for the picture to settle on what the step before changed: the list narrowed to
        // the one person, that person checked.
        const auto changed = [&](QImage* picture) {
            QImage last = *picture;
            return waitUntil([&] { return steady(dialog, QRect(), picture) && *picture != last; });
        };
        const QSize size = m_x->geometry(dialog).size();
        QVERIFY(changed(&shown) && m_ava->click(dialog, QPoint(32, 115)));
        QVERIFY(changed(&shown) &&
                m_ava->click(dialog, QPoint(size.width() - 140, size.height() - 24)));
        QVERIFY(waitUntil([&] { return !m_ava->visibleWindows().contains(dialog); }));
        const DevRoom invitedTo = room("Dan Ford");
        // The title follows the room's answer on its own turn: its change is the sentinel.
        const auto seen = [&] {
            Invited now{{},
                        roomHasMember(invitedTo.roomId, m_halId),
                        0,
                        int(m_ava->windows("Hal Ives").size())};
            for (const DevPublished& p : m_server.published(publishedSince))
                now.admissions += p.type == 4 && p.topic == invitedTo.topic && p.userId == m_avaId;
            for (const QJsonValue& r :
                 m_server.requests(QStringLiteral("/rest/chatt/room/member"), requestsSince))
                now.requests << r["method"].toString() + QLatin1Char(' ') +
                                    r["form"]["members"].toVariant().toStringList().join(',');
            return now;
        };
        QTRY_COMPARE_WITH_TIMEOUT(
            seen(), (Invited{{QStringLiteral("POST %1").arg(m_halId)}, true, 1, 1}), kWait);
    }

    // A picture goes up scaled and smaller; the other member keeps it with the served thumbnail.
    void pictureReachesOtherClient()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("view.png"));
        // Smooth colours: a picture that shrinks when scaled down.
        QImage picture(2000, 1500, QImage::Format_RGB32);
        QLinearGradient gradient(0, 0, 2000, 1500);
        gradient.setColorAt(0, Qt::darkBlue);
        gradient.setColorAt(1, Qt::yellow);
        QPainter(&picture).fillRect(picture.rect(), gradient);
        QVERIFY(picture.save(path, "PNG"));
        const QString window = m_ava->openRoom(QStringLiteral("Ivy Park"));
        const qint64 since = m_server.lastRequestSeq();
        QVERIFY(pickFile(*m_ava, window, kPictureKeys, path));
        QVERIFY(waitUntil([&] { return kept("Ivy Park", 2).size() == 1; }));
        const QString thumbnail =
            QJsonDocument::fromJson(kept("Ivy Park", 2).value(0).toUtf8())["remote_thumb_url"]
                .toString()
                .section(QLatin1Char('/'), -1);
        QVERIFY(!m_ben->openRoom(QStringLiteral("Ivy Park")).isEmpty());
        const QString cached = m_ben->cacheDir() + QLatin1Char('/') + thumbnail;
        const QByteArray served = sha256Of(m_server.dataDir() + "/files/" + thumbnail);
        const QJsonObject upload = m_server.requests("/rest/file/chat", since).first().toObject();
        QTRY_COMPARE_WITH_TIMEOUT(
            (SentPicture{upload["file"]["size"].toVariant().toLongLong() < QFileInfo(path).size(),
                         !served.isEmpty() && sha256Of(cached) == served,
                         benStore().number(chatsOf("Ivy Park", "content_type=2"))}),
            (SentPicture{true, true, 1}), kWait);
    }

    // One file sent twice and saved twice: two names, both the sent bytes.
    void fileSentTwiceIsSavedTwice()
    {
        QTemporaryDir dir;
        QByteArray content = QByteArrayLiteral("%PDF-1.4\n");
        for (int i = 0; content.size() < 300 * 1024; ++i)
            content += QByteArray::number(i * 7919) + ' ';
        QFile file(dir.filePath(QStringLiteral("x.pdf")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
        file.close();
        const QString window = m_ava->openRoom(QStringLiteral("Jay Quinn"));
        QVERIFY(pickFile(*m_ava, window, kFileKeys, file.fileName()));
        QVERIFY(waitUntil([&] { return kept("Jay Quinn", 4).size() == 1; }));
        QVERIFY(pickFile(*m_ava, window, kFileKeys, file.fileName()));
        QVERIFY(waitUntil([&] { return kept("Jay Quinn", 4).size() == 2; }));

        const QString benWindow = m_ben->openRoom(QStringLiteral("Jay Quinn"));
        const QString folder = m_ben->documentsDir() + QStringLiteral("/PLOVEX(Chat)/");
        const QStringList names{folder + "x(1).pdf", folder + "x.pdf"};
        const ChatLayout layout = layoutOf(benWindow);
        QVERIFY(m_ben->click(benWindow, layout.saveLink(0)));
        // The name is taken at once by an empty file, and until the bytes are in the first bubble
        // shows its progress in place of its links, which moves the second bubble's link.
        QVERIFY(waitUntil([&] { return sha256Of(names[1]) == sha256Of(file.fileName()); }));
        QImage view;
        QVERIFY(steady(benWindow, layout.view(), &view));
        QVERIFY(m_ben->click(benWindow, layout.saveLink(1)));
        const auto saved = [&] {
            return SavedFiles{savedFiles(*m_ben),
                              {sha256Of(names[0]) == sha256Of(file.fileName()),
                               sha256Of(names[1]) == sha256Of(file.fileName())}};
        };
        QTRY_COMPARE_WITH_TIMEOUT(saved(), (SavedFiles{names, {true, true}}), kWait);
    }

    // A chat typed while the server is away and a draft (Return in the search box sends
    // nothing) survive SIGKILL: after the unlock the chat goes out unopened, the draft is sent.
    void chatTypedOfflineAndDraftSurviveKill()
    {
        const QString draft = QStringLiteral("kept as a draft");
        QString draftWindow = m_ben->openRoom(QStringLiteral("Lou Mars"));
        QVERIFY(m_ben->typeInto(draftWindow, draft, QStringLiteral("ctrl+f")));
        QVERIFY(m_ben->typeInto(draftWindow, QStringLiteral("draft"), QStringLiteral("Return")));
        QVERIFY(m_ben->typeInto(draftWindow, QString(), QStringLiteral("Escape ctrl+w")));
        QVERIFY(waitUntil(
            [&] { return !m_ben->windows(QStringLiteral("Lou Mars")).contains(draftWindow); }));

        const QString text = QStringLiteral("typed while the server was away");
        const QString where = QStringLiteral("content='%1'").arg(text);
        const QString state = chatsOf("Mia Nash", where, "msg_state");
        const SqlCipherFile db = benStore();
        const QString window = m_ben->openRoom(QStringLiteral("Mia Nash"));
        QVERIFY(m_server.pause());
        const bool typed = m_ben->typeInto(window, text, QStringLiteral("Return"));
        const bool stored = waitUntil([&] { return !db.column(state).isEmpty(); });
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
        // Sent before any room's window has opened again.
        QVERIFY(waitUntil([&] { return db.column(state).value(0) == QLatin1String("1"); }, 60000));
        draftWindow = m_ben->openRoom(QStringLiteral("Lou Mars"));
        QVERIFY(m_ben->typeInto(draftWindow, QString(), QStringLiteral("Return")));
        QTRY_COMPARE_WITH_TIMEOUT(
            (Outboxed{kept("Mia Nash"), kept("Lou Mars"),
                      avaStore().number(chatsOf("Mia Nash", where)),
                      db.number(QStringLiteral("SELECT count(*) FROM TTT_DRAFT"))}),
            (Outboxed{{text}, {draft}, 1, 0}), kWait);
    }

    // The lock during an upload fails the upload. Last: the lock stays.
    void lockDuringUploadFailsIt()
    {
        QTemporaryDir dir;
        QFile file(dir.filePath(QStringLiteral("plan.bin")));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(QByteArray(400 * 1024, 'x')) > 0);
        file.close();
        // Slow enough that the upload is still running when the lock comes.
        QVERIFY(m_server.setRate(16 * 1024, QStringLiteral("/rest/file/chat")));
        const QString window = m_ava->openRoom(QStringLiteral("Gus Hale"));
        const qint64 uploadsSince = m_server.lastRequestSeq();
        QVERIFY(pickFile(*m_ava, window, kFileKeys, file.fileName()));
        const SqlCipherFile db = avaStore();
        const QString state = chatsOf("Gus Hale", "content_type=4", "msg_state");
        QVERIFY(waitUntil([&] { return db.rows(state).size() == 1; }));
        const qint64 publishedSince = m_server.lastPublishedSeq();
        // The tray menu logged in: Open, Lock Mode, Log off, Exit.
        QVERIFY(m_ava->pickTrayEntry(3));
        const auto seen = [&] {
            const QJsonArray uploads = m_server.requests("/rest/file/chat", uploadsSince);
            Locked now{m_ava->isRunning(), uploads.first()["status"].isNull(), db.number(state), 0,
                       int(uploads.size())};
            for (const DevPublished& p : m_server.published(publishedSince))
                now.filesPublished += p.topic == room("Gus Hale").topic && p.contentType == 4;
            return now;
        };
        QTRY_COMPARE_WITH_TIMEOUT(seen(), (Locked{true, true, 5, 0, 1}), kWait);
    }

private:
    DevRoom room(const char* member) const { return m_rooms.value(QString::fromUtf8(member)); }
    // A query of the chats of the room named after its third member.
    QString chatsOf(const char* member, const QString& where,
                    const QString& column = QStringLiteral("count(*)")) const
    {
        return QStringLiteral("SELECT %1 FROM TTT_CHATT WHERE topic='%2' AND %3")
            .arg(column, room(member).topic, where);
    }
    bool roomHasMember(qint64 roomId, qint64 userId)
    {
        const QVector<DevRoom> rooms = m_server.rooms(m_benId);
        return std::any_of(rooms.begin(), rooms.end(), [&](const DevRoom& r) {
            return r.roomId == roomId && r.memberIds.contains(userId);
        });
    }
    // What the chats of a content type the server keeps for a room hold, oldest first.
    QStringList kept(const char* member, int contentType = 1)
    {
        QStringList contents;
        for (const QJsonValue& chat : m_server.history(room(member).roomId)) {
            if (chat["contentType"].toInt() == contentType)
                contents << chat["contents"].toString();
        }
        return contents;
    }
    // Opens Ava's room menu and picks an entry with the keys; the window that entry opened.
    QString fromRoomMenu(const QString& window, const QString& keys)
    {
        const QStringList before = m_ava->visibleWindows();
        const bool clicked = m_ava->click(window, layoutOf(window).menuButton());
        const QString menu = clicked ? m_ava->awaitNewWindow(before) : QString();
        return !menu.isEmpty() && m_ava->keyToActive(keys) ? m_ava->awaitNewWindow(before, {menu})
                                                           : QString();
    }

    // Two pictures in a row alike: the window has finished drawing.
    bool steady(const QString& window, const QRect& part, QImage* picture)
    {
        QImage last;
        return waitUntil([&] {
            *picture = m_x->grab(window).copy(part);
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
        if (!client.click(window, layoutOf(window).messageBox()) ||
            !client.typeInto(window, QString(), keys))
            return false;
        const QString picker = client.awaitNewWindow(before);
        if (picker.isEmpty())
            return false;
        const auto gone = [&] { return !client.visibleWindows().contains(picker); };
        QImage empty;
        QImage typed;
        // The name field holds the whole path once the picture stops changing after the typing;
        // a Return the name completer's list takes leaves the picker open for another.
        const bool picked =
            steady(picker, QRect(), &empty) && client.typeInto(picker, path, QString()) &&
            waitUntil([&] { return steady(picker, QRect(), &typed) && typed != empty; }) &&
            client.keyToActive(QStringLiteral("Return")) &&
            (waitUntil(gone, 5000) ||
             (client.typeInto(picker, QString(), QStringLiteral("Return")) &&
              waitUntil(gone, 5000)));
        // A picker left open would take every key and click meant for the windows behind it.
        if (!picked && !gone())
            client.typeInto(picker, QString(), QStringLiteral("Escape"));
        return picked;
    }

    SqlCipherFile avaStore() const { return m_ava->store(kAva); }
    SqlCipherFile benStore() const { return m_ben->store(kBen); }
    ChatLayout layoutOf(const QString& window) const
    {
        return ChatLayout{m_x->geometry(window).size()};
    }

    std::unique_ptr<XSession> m_x;
    DevServer m_server;
    std::unique_ptr<AppClient> m_ava;
    std::unique_ptr<AppClient> m_ben;
    qint64 m_avaId = 0, m_benId = 0, m_halId = 0;
    QMap<QString, DevRoom> m_rooms; // by the name of the room's third member
};

QTEST_GUILESS_MAIN(TestChatScenarios)
#include "tst_chatscenarios.moc"
