#include "invite/invitedirectory.h"

#include "store/dbdirectoryrow.h"
#include "store/dbmanager.h"
#include "store/dbuser.h"

#include <QDebug>
#include <QRegularExpression>

#include <algorithm>
#include <deque>
#include <numeric>
#include <string>
#include <unordered_map>

namespace {

bool isAscii(std::string_view text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return uchar(c) < 0x80; });
}

// Appends UTF-8 text; the usual ASCII name is widened in place, without a string of its own.
void appendUtf8(QString& to, std::string_view text)
{
    if (!isAscii(text)) {
        to += QString::fromUtf8(text.data(), int(text.size()));
        return;
    }
    const int at = to.size();
    to.resize(at + int(text.size()));
    QChar* out = to.data() + at;
    for (const char c : text)
        *out++ = QLatin1Char(c);
}

// Folded code point by code point, the folding a case-insensitive comparison of QString applies
// to each character, so that a plain search of keys finds what such a comparison finds.
void appendKey(QString& to, QStringView text)
{
    for (int i = 0; i < text.size(); ++i) {
        const ushort c = text.at(i).unicode();
        if (c < 0x80) {
            to += QChar(c >= 'A' && c <= 'Z' ? ushort(c + ('a' - 'A')) : c);
            continue;
        }
        uint code = c;
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            code = QChar::surrogateToUcs4(c, text.at(++i).unicode());
        const uint folded = QChar::toCaseFolded(code);
        if (QChar::requiresSurrogates(folded)) {
            to += QChar(QChar::highSurrogate(folded));
            to += QChar(QChar::lowSurrogate(folded));
        } else {
            to += QChar(ushort(folded));
        }
    }
}

QStringView slice(const QString& text, const QVector<int>& starts, int index)
{
    const int from = starts.at(index);
    return QStringView(text).mid(from, starts.at(index + 1) - from);
}

template <typename T>
QVector<T> permuted(const QVector<T>& values, const QVector<int>& order)
{
    QVector<T> out(order.size());
    T* to = out.data();
    for (const int i : order)
        *to++ = values.at(i);
    return out;
}

// Texts laid one after another (each starting at `fromAt`, with the end as the last entry), laid
// out again in `order`.
template <typename Text>
void permuteTexts(const Text& from, const QVector<int>& fromAt, const QVector<int>& order, Text& to,
                  QVector<int>& toAt)
{
    toAt.resize(order.size() + 1);
    toAt[0] = 0;
    for (int k = 0; k < order.size(); ++k)
        toAt[k + 1] = toAt[k] + fromAt.at(order.at(k) + 1) - fromAt.at(order.at(k));
    to.resize(toAt.last());
    auto* out = to.data();
    const auto* in = from.constData();
    for (int k = 0; k < order.size(); ++k)
        std::copy(in + fromAt.at(order.at(k)), in + fromAt.at(order.at(k) + 1), out + toAt.at(k));
}

} // namespace

InviteEntry InviteDirectory::entryOf(const DBUser& user)
{
    return {user.userId(),   user.userName(),   user.deptName(),
            user.thumbUrl(), user.appInstall(), user.chattAllow()};
}

InviteEntry InviteDirectory::entry(int index) const
{
    return {userId(index),   userName(index),   deptName(index),
            thumbUrl(index), appInstall(index), chattAllow(index)};
}

QStringView InviteDirectory::nameAt(int index) const
{
    return slice(m_names, m_nameAt, index);
}

QStringView InviteDirectory::keyAt(int index) const
{
    return slice(m_keys, m_keyAt, index);
}

QString InviteDirectory::userName(int index) const
{
    return nameAt(index).toString();
}

QString InviteDirectory::thumbUrl(int index) const
{
    const int from = m_thumbAt.at(index);
    return QString::fromUtf8(m_thumbs.constData() + from, m_thumbAt.at(index + 1) - from);
}

int InviteDirectory::indexOf(qint64 userId) const
{
    const auto it = std::lower_bound(m_byId.begin(), m_byId.end(), std::make_pair(userId, 0));
    return it != m_byId.end() && it->first == userId ? it->second : -1;
}

void InviteDirectory::clear()
{
    m_userIds.clear();
    m_names.clear();
    m_nameAt = {0};
    m_keys.clear();
    m_keyAt = {0};
    m_thumbs.clear();
    m_thumbAt = {0};
    m_depts.clear();
    m_deptNames.clear();
    m_flags.clear();
    m_byId.clear();
}

void InviteDirectory::addPerson(qint64 userId, int dept, std::string_view thumbUrl, bool appInstall,
                                bool chattAllow)
{
    m_nameAt.append(m_names.size());
    m_userIds.append(userId);
    m_thumbs.append(thumbUrl.data(), int(thumbUrl.size()));
    m_thumbAt.append(m_thumbs.size());
    m_depts.append(dept);
    m_flags.append(quint8((appInstall ? AppInstall : 0) | (chattAllow ? ChattAllow : 0)));
}

void InviteDirectory::finish()
{
    m_keys.reserve(m_names.size());
    m_keyAt.reserve(m_userIds.size() + 1);
    for (int i = 0; i < m_userIds.size(); ++i) {
        appendKey(m_keys, nameAt(i));
        m_keyAt.append(m_keys.size());
    }
    for (auto* v : {&m_nameAt, &m_keyAt, &m_thumbAt, &m_depts})
        v->squeeze();
    m_userIds.squeeze();
    m_flags.squeeze();
    m_names.squeeze();
    m_keys.squeeze();
    m_thumbs.squeeze();
    m_byId.clear();
    m_byId.reserve(size_t(m_userIds.size()));
    for (int i = 0; i < m_userIds.size(); ++i)
        m_byId.emplace_back(m_userIds.at(i), i);
    // By id, then index: of two entries for one user, the first is the one found.
    std::sort(m_byId.begin(), m_byId.end());
}

bool InviteDirectory::load(DBManager* db, qint64 ownUserId)
{
    // Read in the table's order, then laid out in the listing order, so that a search walks the
    // keys front to back.
    InviteDirectory read;
    // A directory's few department names are kept once each; the keys view the owned copies.
    std::deque<std::string> deptTexts;
    std::unordered_map<std::string_view, int> depts;
    QVector<int> order;
    const bool ok =
        db && db->visitDirectory(
                  ownUserId,
                  [&](const DBDirectoryRow& row) {
                      auto dept = depts.find(row.deptName);
                      if (dept == depts.end()) {
                          deptTexts.emplace_back(row.deptName);
                          dept = depts.emplace(deptTexts.back(), read.m_deptNames.size()).first;
                          read.m_deptNames
                              << QString::fromUtf8(row.deptName.data(), int(row.deptName.size()));
                      }
                      appendUtf8(read.m_names, row.userName);
                      read.addPerson(row.userId, dept->second, row.thumbUrl, row.appInstall,
                                     row.chattAllow);
                  },
                  order);
    clear();
    if (!ok) {
        qWarning().noquote() << "InviteDirectory::load failed to read the directory";
        finish();
        return false;
    }
    m_userIds = permuted(read.m_userIds, order);
    m_depts = permuted(read.m_depts, order);
    m_flags = permuted(read.m_flags, order);
    permuteTexts(read.m_names, read.m_nameAt, order, m_names, m_nameAt);
    permuteTexts(read.m_thumbs, read.m_thumbAt, order, m_thumbs, m_thumbAt);
    m_deptNames = read.m_deptNames;
    finish();
    return true;
}

void InviteDirectory::setEntries(const QVector<InviteEntry>& entries)
{
    clear();
    for (const InviteEntry& e : entries) {
        int dept = m_deptNames.indexOf(e.deptName);
        if (dept < 0) {
            dept = m_deptNames.size();
            m_deptNames << e.deptName;
        }
        m_names += e.userName;
        const QByteArray thumbUrl = e.thumbUrl.toUtf8();
        addPerson(e.userId, dept, std::string_view(thumbUrl.constData(), size_t(thumbUrl.size())),
                  e.appInstall, e.chattAllow);
    }
    finish();
}

bool InviteDirectory::isLiteral(const QString& text)
{
    static const QString special = QStringLiteral("\\^$.|?*+()[]{}");
    return std::none_of(text.begin(), text.end(), [](QChar c) { return special.contains(c); });
}

QString InviteDirectory::searchKey(QStringView text)
{
    QString key;
    key.reserve(text.size());
    appendKey(key, text);
    return key;
}

QVector<int> InviteDirectory::filter(const QString& text, const QVector<int>* within) const
{
    QVector<int> result;
    const auto visit = [&](auto&& matches) {
        if (within) {
            for (int i : *within) {
                if (matches(i))
                    result.append(i);
            }
            return;
        }
        for (int i = 0; i < size(); ++i) {
            if (matches(i))
                result.append(i);
        }
    };
    if (text.isEmpty()) {
        result.resize(size());
        std::iota(result.begin(), result.end(), 0);
    } else if (isLiteral(text)) {
        // Without pattern characters the expression is the text itself: a plain search of the
        // keys folded at load is the same match at a fraction of the cost.
        const QString key = searchKey(text);
        visit([&](int i) { return keyAt(i).contains(key); });
    } else {
        const QRegularExpression re(text, QRegularExpression::CaseInsensitiveOption);
        if (!re.isValid())
            return result;
        visit([&](int i) {
            const int from = m_nameAt.at(i);
            return re.match(QStringRef(&m_names, from, m_nameAt.at(i + 1) - from)).hasMatch();
        });
    }
    return result;
}
