#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <Qt>

// The decisions of the chat window that need no widget: kept here so that they can be checked
// row by row.
namespace ChatRules {

// The longest text sent as a text; a longer one goes as a text file with a preview.
constexpr int kTextLimit = 250;
// A key send within this time of the previous one is refused.
constexpr qint64 kKeySendIntervalMs = 1000;
// Chats per history page, from the store and from the server.
constexpr int kPageSize = 50;
// A read marker is placed only for more unread chats than this.
constexpr int kMarkerMinUnread = 9;
// Pictures wider than this are sent scaled to this width.
constexpr int kMaxPictureWidth = 1024;

enum class KeyAction
{
    PassOn,  // the input box handles the key (a line break, a letter ...)
    Send,    // send and consume
    TooFast, // refuse, tell the user, and consume (the text stays as typed)
};
KeyAction sendKeyAction(int key, Qt::KeyboardModifiers modifiers, qint64 nowMs, qint64 lastSendMs);

// What a typed text becomes.
struct TextPlan
{
    enum Kind
    {
        Nothing, // empty, or only blanks and line breaks
        Text,
        LongText,
    };
    Kind kind = Nothing;
    // The bubble's text of a long text: the first characters and "...".
    QString preview;

    bool operator==(const TextPlan& other) const
    {
        return kind == other.kind && preview == other.preview;
    }
};
TextPlan textPlan(const QString& text);

// The maximum height of the input box for its text.
int inputBoxMaxHeight(const QString& text);

// The msg_state an own chat is shown with when history is loaded: a send or an upload that was
// still running when the window closed is failed.
int loadedMsgState(int msgState);

// The time stamp of a server history request below the oldest stored chat: the millisecond
// time of its message id, "0" without one (or when the id carries no time).
QString historyTimestamp(const QString& oldestMessageId);

// The entries of the room menu.
enum class RoomMenuEntry
{
    AddMember,
    ViewMembers,
    Export,
    Leave,
    DeleteConversation,
};
QList<RoomMenuEntry> roomMenuEntries(int roomType, bool serverHistory);

// One file chosen to be sent.
struct UploadCandidate
{
    QString path;
    qint64 size = 0;
    bool isDir = false;
};
// What becomes of a list of chosen or dropped files.
struct UploadPlan
{
    // Files sent, in order, each as a picture or as a file.
    QStringList files;
    QList<bool> asImages;
    // Folders left out (they cannot be sent).
    QStringList folders;
    // The first file above the size limit: it and every file after it are not sent.
    QString tooLarge;

    bool operator==(const UploadPlan& other) const
    {
        return files == other.files && asImages == other.asImages && folders == other.folders &&
               tooLarge == other.tooLarge;
    }
};
UploadPlan uploadPlan(const QList<UploadCandidate>& candidates, bool asImages, qint64 sizeLimit);
// The picture suffixes the picture button accepts (lower case, without the dot).
const QStringList& imageSuffixes();

// A name for a downloaded file in `folder` that no other file has, made as an empty file at
// once so that a second download started before this one ends picks another: "name.ext",
// then "name(1).ext", "name(2).ext" ... Empty when the folder cannot be written.
QString reserveSaveName(const QString& folder, const QString& fileName);

// Whether opening the file would run a program (by its suffix, or its executable bit): the
// user is asked first, as a received file is opened with one click.
bool mayRunProgram(const QString& path);

// The file name of an exported conversation: the room name with path separators and the
// characters file systems refuse replaced, so the file always lands in the chosen folder.
QString exportFileName(const QString& roomName, const QDateTime& now);
// `name` with "/", "\", ":", "*", "?", "\"", "<", ">", "|" and control characters replaced by
// "_", leading and trailing blanks and dots removed.
QString safeNamePart(const QString& name);

// A transfer's progress in percent (at most 100), or -1 while its size is unknown.
int transferPercent(qint64 done, qint64 total);

} // namespace ChatRules
