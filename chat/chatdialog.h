#pragma once

#include "store/dbchat.h"
#include "store/dbchatroom.h"

#include <QDialog>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QPointer>
#include <QSet>
#include <QVariantMap>

#include <memory>
#include <optional>

namespace Ui {
class ChatDialog;
}
class AlarmWidget;
class DBUser;
class MtImageViewer;
class MtTextViewer;
class QAction;
class DBManager;
class QDragEnterEvent;
class QDropEvent;
class QImage;
class QKeyEvent;
class MtChatAlarmItem;
class MtChatBaseItem;
class MtChatWidget;
class MtFrameLess;
class MtLoadingWidget;
class MtSession;
class NetServerManager;
class QTemporaryFile;
class QTimer;

// The window of one chat room: the conversation, its history (store first, then the server when
// the server-history option is on), sending text, attachments and the room's operations.
//
// The window wires itself to the session: it takes the chats, read counts and room changes the
// session routes to its topic, reports its activation to the session (and the read enter/leave
// to the messaging session), and sends again what was left unconfirmed when the messaging
// session comes back. The main window keeps the windows by topic (ChatWindowRegistry), places a
// window that has no saved geometry, closes the window when its room goes, and acts on the
// signals below. Sources: core here, sending in chatdialog_send.cpp, attachments in
// chatdialog_attach.cpp, room operations in chatdialog_room.cpp, search in
// chatdialog_search.cpp.
class ChatDialog : public QDialog
{
    Q_OBJECT
public:
    // A room with an empty topic is a dummy room: it is created on the server on the first
    // send (its members are those of `room`).
    ChatDialog(MtSession* session, const DBChatRoom& room, QWidget* parent = nullptr);
    ~ChatDialog() override;

    // The room's topic; empty for a dummy room not yet created.
    QString topic() const { return m_room.topic(); }
    const DBChatRoom& chatRoom() const { return m_room; }
    bool isDummy() const { return m_room.topic().isEmpty(); }
    // Whether the user was in this window when it closed (the keyboard then goes back to the
    // room list).
    bool closedWhileActive() const { return m_closedWhileActive; }
    // The users invited into a dummy room, sent with its creation.
    void setInviteUserIds(const QList<qint64>& userIds) { m_inviteUserIds = userIds; }

    // A "Geometry" is stored for the room: without one the main window places the window.
    bool hasSavedGeometry() const;
    // Forgets the stored geometry of the room (the room was left).
    void removeSaveGeometry();

    // The room record changed (members, type, name): title and picture follow.
    void updateChatRoom(const DBChatRoom& room);
    // The user's own chat (an echo replaces the pending bubble of the same message id), or
    // another member's; null when the chat shows nothing.
    MtChatBaseItem* addMyChatItem(const DBChat& chat, bool insertFirst = false);
    MtChatBaseItem* addOtherChatItem(const DBChat& chat, bool insertFirst = false);
    // message id -> number of members who have read it.
    void updateReadCounts(const QVariantMap& reads);
    // Closes every pop-up, box and dialog the window has open (before the window goes).
    void closeAllPopup();

    // Sends local files as chats, in order (pictures scaled when asImages).
    void uploadFiles(const QStringList& files, bool asImages);
    // Writes the whole conversation to `path` (the menu's export after its file dialog): empty
    // text on success, else the reason.
    QString exportConversationTo(const QString& path);

    MtChatWidget* chatView() const;
    // Hands a chat to a window through its event queue (from any code that holds the window
    // only as an object).
    static void postChat(QObject* window, const DBChat& chat);
    void done(int result) override;
    bool isRoomActive() const { return m_windowActive; }
    bool alarmOn() const { return m_alarmOn; }
    // The message id of the search match shown highlighted; empty when none.
    QString highlightedMessageId() const { return m_highlightId; }

public slots:
    // A chat or a notice (invitation, admission, leave) of this room.
    void addChat(const DBChat& chat, bool insertFirst = false);

signals:
    // The window became the active window with the room entered, or stopped being it.
    void activated(const QString& topic);
    void deactivated(const QString& topic);
    // The window was closed (it is deleted later by whoever owns it).
    void closed(const QString& topic);
    // A dummy room got its topic on the server: the window now belongs to `room`.
    void roomCreated(ChatDialog* dialog, const DBChatRoom& room);
    // Members were invited into the room (or the left partner was brought back).
    void roomInvited(ChatDialog* dialog, const DBChatRoom& room);
    // The room was left and removed from the store: close the window.
    void roomLeft(ChatDialog* dialog, const DBChatRoom& room);
    // The user asked for a new room with these members (a one-to-one room cannot grow).
    void newRoomRequested(const QList<qint64>& userIds);
    // The user asked for the one-to-one room with this user (from a profile).
    void openChatRoomRequested(qint64 userId);
    // A search match is shown highlighted (empty: the step found nothing to show). Older pages
    // are loaded first when the match is not in the view yet.
    void matchShown(const QString& messageId);
    // An answer that ends or refuses the session (40104, 40106, 40108): the main window's.
    void sessionFailure(int errCode, const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void customEvent(QEvent* event) override;

private:
    // Request codes of the window's own engine.
    static constexpr int kReqNewRoom = 4;
    static constexpr int kReqLeave = 5;
    static constexpr int kReqInviteBack = 6;
    static constexpr int kReqInvite = 7;
    static constexpr int kReqFileAuth = 8;
    static constexpr int kReqChatLoad = 9;

    // Core (chatdialog.cpp).
    qint64 ownUserId() const;
    NetServerManager* net();
    DBManager* db() const;
    void removeItem(const QString& messageId);
    // Another member's chat; `atBottom`: the view stood at its bottom before it came.
    MtChatBaseItem* addOtherChat(const DBChat& chat, bool insertFirst, bool atBottom);
    QPixmap thumbnailFor(const DBChat& chat);
    // The sender's picture from the cache, else the default one; `inBurst`: one of many rows
    // added at once, which share the look-ups.
    QPixmap senderPicture(const QString& url, bool inBurst);
    void requestServerHistory();
    void bindRoom();
    void updateTitle();
    void updatePicture();
    void loadNewestPage();
    void loadOlderPage();
    // The next `pages` pages of stored chats above the shown ones, read at once; how many chats
    // they held.
    int addOlderPage(int pages = 1);
    int shownChatCount() const;
    void addReadMarker(const DBChat& before, bool insertFirst);
    void firstShowFill();
    void onChatForWindow(const QString& topic, const DBChat& chat, bool own);
    void onReadCounts(const QString& topic, const QVariantMap& reads);
    void onRoomChanged(const DBChatRoom& room, const DBChat& notice);
    void enterRoom();
    void leaveRoomPresence();
    void toggleAlarm();
    void updateAlarmButton();
    void restoreGeometry();
    void saveWindowGeometry();
    void adjustInputHeight();
    void showMessage(const QString& text, const QString& title = QString());
    bool askQuestion(const QString& text);

    // Sending (chatdialog_send.cpp).
    void sendText();
    bool handleSendKey(QKeyEvent* event);
    void commitComposition();
    void resend(const QString& messageId);
    // Creation of a dummy room / invite-back of a left partner before the pending action.
    bool ensureRoomReady(const QString& action, const QStringList& files = {});
    void runPendingAction();

    // Attachments (chatdialog_attach.cpp).
    void chooseFiles(bool asImages);
    bool uploadOne(const QString& path, bool asImage);
    void onUploadSuccess(const QString& reqId, const QJsonObject& response);
    void onUploadProgress(const QString& reqId, qint64 sent, qint64 total);
    void onUploadFailure(const QString& reqId, int errCode, const QString& error);
    // The window goes: its unanswered uploads are stored failed and their scaled copies kept.
    void failUnfinishedUploads();
    void onDownloadSuccess(const QString& reqId, const QString& url, const QString& savePath);
    void onDownloadProgress(const QString& reqId, qint64 received, qint64 total);
    void onDownloadFailure(const QString& reqId, int errCode, const QString& error);
    void onImageSuccess(const QString& url, const QString& filePath);
    void saveFile(const QString& messageId, bool saveAs, bool authorized = false);
    void saveFromViewer(const QString& messageId);
    void finishSave(const QString& messageId, const QString& from, const QString& target);
    void savedAt(const QString& messageId, const QString& path);
    void writePendingExport();
    // A long text an export waited for has come or failed; false when no export waited for it.
    bool exportTextEnded(const QString& reqId);
    void fileAuthAnswer(const QJsonObject& response);
    void openImage(const QString& messageId);
    void openText(const QString& messageId);
    void exportConversation();
    void handleDrop(QDropEvent* event);
    // A picture pasted into the input box goes as a picture chosen with the picture button.
    void sendPastedPicture(const QImage& picture);
    void openFile(const QString& path);
    void openFolder(const QString& path);

    // Room operations (chatdialog_room.cpp).
    bool serverHistory() const;
    QList<QAction*> roomMenuActions();
    QList<DBUser> memberUsers() const;
    void deleteChat(const QString& messageId);
    void leaveAnswer(const QJsonObject& response);
    void showRoomMenu();
    void showContextMenu(const QPoint& pos);
    void leaveRoom();
    void sendLeaveRequest();
    void deleteAllChat();
    void viewMembers();
    void addMember();

public:
    // Adds people to the room (a one-to-many room asks the server; a dummy room only takes
    // them into its members). Nobody new sends nothing.
    void inviteMembers(const QList<qint64>& userIds);

private:
    void onHttpSuccess(int reqCode, const QJsonObject& response);
    void onHttpFailure(int reqCode, int errCode, const QString& error);
    void roomCreatedAnswer(const QJsonObject& response);
    void inviteAnswer(int reqCode, const QJsonObject& response);
    void historyAnswer(const QJsonObject& response);
    void showReaders(const QString& messageId);
    void showProfile(int userId);

    // Search (chatdialog_search.cpp).
    void openSearch();
    void closeSearch();
    void search(const QString& text);
    void stepSearch(int delta);
    void showMatch();
    void loadTowardsMatch();
    void clearHighlight();

    std::unique_ptr<Ui::ChatDialog> ui;
    MtSession* m_session;
    DBChatRoom m_room;
    std::unique_ptr<NetServerManager> m_net;
    MtFrameLess* m_frameLess = nullptr;
    MtLoadingWidget* m_loadingWidget = nullptr;
    AlarmWidget* m_alarmWidget = nullptr;
    QList<QPointer<QWidget>> m_popups;
    QPointer<MtImageViewer> m_imageViewer;
    QPointer<MtTextViewer> m_textViewer;
    QList<qint64> m_inviteUserIds;

    bool m_windowActive = false;
    bool m_closedWhileActive = false;
    bool m_alarmOn = true;
    qint64 m_lastKeySendMs = 0;
    bool m_noMoreServerHistory = false;
    bool m_historyInFlight = false;
    int m_unreadCount = -1;
    QPointer<MtChatAlarmItem> m_readMarker;
    bool m_firstShown = false;
    // The view's batch begun with the newest page, ended by the first show at the read marker.
    bool m_openingAtMarker = false;
    // Several pages are being added at once: the view is laid out after the last only.
    bool m_batchPaging = false;
    bool m_geometryRemoved = false;
    // Message ids shown, and leave notices (which have none): the chats in the view, so the
    // read marker and date separators never shift the history offset.
    QSet<QString> m_shownIds;
    int m_idlessNotices = 0;
    // The input method's composition not yet committed into the input box.
    QString m_preedit;
    // The input box's text is kept as the room's draft a moment after it changes and as the
    // window closes, so that it is there again when the room opens, also after a restart.
    QTimer* m_draftTimer = nullptr;
    bool m_draftLoaded = false;
    // The room's draft as the store holds it; none while that is not known.
    std::optional<QString> m_storedDraft;
    void loadDraft();
    void saveDraft();

    // A dummy room's creation (or a left room's invite-back) in flight, and what to do after.
    bool m_roomRequestInFlight = false;
    QString m_pendingAction;
    QStringList m_pendingFiles;

    // Transfers by message id; items are looked up at each signal.
    QSet<QString> m_uploads;
    QHash<QString, std::shared_ptr<QTemporaryFile>> m_scaledCopies;
    QHash<QString, QString> m_downloads; // message id -> target path
    QSet<QString> m_imageViewerRequests;
    QSet<QString> m_textRequests;
    QHash<QString, QStringList> m_thumbRequests; // url -> message ids
    // Sender pictures by address, for the rows being added in one go (emptied by the event loop).
    QHash<QString, QPixmap> m_burstPictures;
    // Member pictures of the room picture asked for.
    QSet<QString> m_pictureRequests;

    // Saves waiting for the server's file authorisation, in the order asked.
    struct PendingSave
    {
        QString messageId;
        bool saveAs = false;
    };
    QList<PendingSave> m_authPending;
    // Saves from a viewer: their folder is opened once saved.
    QSet<QString> m_openFolderAfterSave;
    // An export waiting for the long texts it fetches (message ids), and its file.
    QSet<QString> m_exportTexts;
    QString m_exportPath;

    // Search state.
    QString m_searchText;
    int m_searchCount = 0;
    int m_searchIndex = 0;
    QString m_highlightId;
    // The match older pages are being loaded for.
    QString m_searchTarget;
};
