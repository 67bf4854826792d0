#include "invite/invitedirectory.h"

#include "store/dbmanager.h"
#include "store/dbuser.h"

#include <QDebug>
#include <QRegularExpression>

#include <algorithm>

InviteEntry InviteDirectory::entryOf(const DBUser& user)
{
    return {user.userId(),   user.userName(),   user.deptName(),
            user.thumbUrl(), user.appInstall(), user.chattAllow()};
}

bool InviteDirectory::load(DBManager* db, qint64 ownUserId)
{
    QVector<InviteEntry> entries;
    // A directory's few department names are kept once each.
    QHash<QString, QString> departments;
    const bool ok = db && db->visitUserList(ownUserId, [&](const DBUser& user) {
        InviteEntry e = entryOf(user);
        auto dept = departments.find(e.deptName);
        if (dept == departments.end())
            dept = departments.insert(e.deptName, e.deptName);
        e.deptName = dept.value();
        entries.append(std::move(e));
    });
    if (!ok)
        qWarning().noquote() << "InviteDirectory::load failed to read the directory";
    setEntries(ok ? std::move(entries) : QVector<InviteEntry>());
    return ok;
}

void InviteDirectory::setEntries(QVector<InviteEntry> entries)
{
    m_entries = std::move(entries);
    m_entries.squeeze();
    m_byId.clear();
    m_byId.reserve(m_entries.size());
    for (int i = 0; i < m_entries.size(); ++i)
        m_byId.insert(m_entries.at(i).userId, i);
}

bool InviteDirectory::isLiteral(const QString& text)
{
    static const QString special = QStringLiteral("\\^$.|?*+()[]{}");
    return std::none_of(text.begin(), text.end(), [](QChar c) { return special.contains(c); });
}

QVector<int> InviteDirectory::filter(const QString& text, const QVector<int>* within) const
{
    QVector<int> result;
    const auto visit = [&](auto&& matches) {
        if (within) {
            for (int i : *within) {
                if (matches(m_entries.at(i).userName))
                    result.append(i);
            }
            return;
        }
        for (int i = 0; i < m_entries.size(); ++i) {
            if (matches(m_entries.at(i).userName))
                result.append(i);
        }
    };
    if (text.isEmpty()) {
        visit([](const QString&) { return true; });
    } else if (isLiteral(text)) {
        // Without pattern characters the expression is the text itself: a plain search is the
        // same match at a fraction of the cost.
        visit([&](const QString& name) { return name.contains(text, Qt::CaseInsensitive); });
    } else {
        const QRegularExpression re(text, QRegularExpression::CaseInsensitiveOption);
        if (!re.isValid())
            return result;
        visit([&](const QString& name) { return re.match(name).hasMatch(); });
    }
    return result;
}
