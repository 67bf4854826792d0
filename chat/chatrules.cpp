#include "chat/chatrules.h"

#include "store/dbtypes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace ChatRules {

KeyAction sendKeyAction(int key, Qt::KeyboardModifiers modifiers, qint64 nowMs, qint64 lastSendMs)
{
    const bool plainReturn =
        (key == Qt::Key_Return || key == Qt::Key_Enter) && modifiers == Qt::NoModifier;
    const bool keypadEnter = key == Qt::Key_Enter && modifiers == Qt::KeypadModifier;
    if (!plainReturn && !keypadEnter)
        return KeyAction::PassOn;
    if (nowMs - lastSendMs < kKeySendIntervalMs)
        return KeyAction::TooFast;
    return KeyAction::Send;
}

TextPlan textPlan(const QString& text)
{
    TextPlan plan;
    if (text.trimmed().isEmpty())
        return plan;
    if (text.size() <= kTextLimit) {
        plan.kind = TextPlan::Text;
        return plan;
    }
    plan.kind = TextPlan::LongText;
    int cut = kTextLimit - 3;
    // Never half of a character written as a surrogate pair (most emoji).
    if (text.at(cut - 1).isHighSurrogate())
        --cut;
    plan.preview = text.left(cut) + QStringLiteral("...");
    return plan;
}

int inputBoxMaxHeight(const QString& text)
{
    const int lines = qMin(int(text.count(QLatin1Char('\n'))), 7);
    return lines < 5 ? 85 : lines * 20 + 5;
}

int loadedMsgState(int msgState)
{
    if (msgState == 0)
        return 2;
    if (msgState == 3)
        return 5;
    return msgState;
}

QString historyTimestamp(const QString& oldestMessageId)
{
    const QString last = oldestMessageId.section(QLatin1Char('-'), -1);
    const QString time = last.left(13);
    static const QRegularExpression digits(QStringLiteral("^[0-9]{13}$"));
    if (oldestMessageId.isEmpty() || !oldestMessageId.contains(QLatin1Char('-')) ||
        !digits.match(time).hasMatch())
        return QStringLiteral("0");
    return time;
}

QList<RoomMenuEntry> roomMenuEntries(int roomType, bool serverHistory)
{
    QList<RoomMenuEntry> entries;
    if (roomType != RoomTypeGroup)
        entries << RoomMenuEntry::AddMember;
    entries << RoomMenuEntry::ViewMembers << RoomMenuEntry::Export;
    if (roomType != RoomTypeGroup)
        entries << RoomMenuEntry::Leave;
    if (!serverHistory)
        entries << RoomMenuEntry::DeleteConversation;
    return entries;
}

const QStringList& imageSuffixes()
{
    static const QStringList suffixes = {QStringLiteral("jpg"), QStringLiteral("jpeg"),
                                         QStringLiteral("png"), QStringLiteral("gif"),
                                         QStringLiteral("tif"), QStringLiteral("tiff"),
                                         QStringLiteral("bmp"), QStringLiteral("img")};
    return suffixes;
}

UploadPlan uploadPlan(const QList<UploadCandidate>& candidates, bool asImages, qint64 sizeLimit)
{
    UploadPlan plan;
    for (const UploadCandidate& candidate : candidates) {
        if (candidate.isDir) {
            plan.folders << candidate.path;
            continue;
        }
        if (candidate.size > sizeLimit) {
            plan.tooLarge = candidate.path;
            break;
        }
        const QString suffix = QFileInfo(candidate.path).suffix().toLower();
        plan.files << candidate.path;
        plan.asImages << (asImages && imageSuffixes().contains(suffix));
    }
    return plan;
}

QString reserveSaveName(const QString& folder, const QString& fileName)
{
    if (!QDir().mkpath(folder))
        return QString();
    const QFileInfo info(fileName);
    const QString base = info.completeBaseName();
    const QString suffix = info.suffix();
    for (int n = 0; n < 10000; ++n) {
        QString name = n == 0 ? base : base + QStringLiteral("(%1)").arg(n);
        if (!suffix.isEmpty())
            name += QLatin1Char('.') + suffix;
        const QString path = QDir(folder).filePath(name);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly))
            return path;
        if (!file.exists())
            return QString();
    }
    return QString();
}

bool mayRunProgram(const QString& path)
{
    static const QStringList programs = {
        QStringLiteral("exe"), QStringLiteral("bat"),     QStringLiteral("cmd"),
        QStringLiteral("com"), QStringLiteral("msi"),     QStringLiteral("lnk"),
        QStringLiteral("js"),  QStringLiteral("vbs"),     QStringLiteral("scr"),
        QStringLiteral("ps1"), QStringLiteral("desktop"), QStringLiteral("sh"),
        QStringLiteral("jar"), QStringLiteral("appimage")};
    const QFileInfo info(path);
    return programs.contains(info.suffix().toLower()) || (info.isFile() && info.isExecutable());
}

QString safeNamePart(const QString& name)
{
    QString out;
    out.reserve(name.size());
    for (const QChar c : name) {
        const bool reserved =
            QStringLiteral("/\\:*?\"<>|").contains(c) || c.unicode() < 0x20 || c.unicode() == 0x7f;
        out += reserved ? QLatin1Char('_') : c;
    }
    int start = 0;
    int end = out.size();
    while (start < end && (out.at(start).isSpace() || out.at(start) == QLatin1Char('.')))
        ++start;
    while (end > start && (out.at(end - 1).isSpace() || out.at(end - 1) == QLatin1Char('.')))
        --end;
    return out.mid(start, end - start);
}

QString exportFileName(const QString& roomName, const QDateTime& now)
{
    return QStringLiteral("Veltri_Talk_") + now.toString(QStringLiteral("yyMMddhms")) +
           QLatin1Char('_') + safeNamePart(roomName) + QStringLiteral(".txt");
}

int transferPercent(qint64 done, qint64 total)
{
    if (total <= 0 || done < 0)
        return -1;
    return int(qMin<qint64>(100, done * 100 / total));
}

} // namespace ChatRules
