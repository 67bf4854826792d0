#include "netfixture.h"

#include "common/testenv.h"
#include "main/mtdata.h"
#include "net/netservermanager.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QTest>

NetRecorder::NetRecorder(NetServerManager* manager)
{
    auto thread = [] { return QThread::currentThread(); };
    connect(manager, &NetServerManager::onHttpSuccess, this, [=](int code, QJsonObject o) {
        add({QStringLiteral("success"), code, 0, {}, {}, o, 0, 0, nullptr, thread()});
    });
    connect(manager, &NetServerManager::onHttpFailure, this, [=](int code, int err, QString t) {
        add({QStringLiteral("failure"), code, err, {}, t, {}, 0, 0, nullptr, thread()});
    });
    connect(manager, &NetServerManager::onUploadSuccess, this, [=](QString id, QJsonObject o) {
        add({QStringLiteral("uploadSuccess"), 0, 0, id, {}, o, 0, 0, nullptr, thread()});
    });
    connect(manager, qOverload<QString, qint64, qint64>(&NetServerManager::onUploadProgress), this,
            [=](QString id, qint64 done, qint64 total) {
                add({QStringLiteral("uploadProgress"),
                     0,
                     0,
                     id,
                     {},
                     {},
                     done,
                     total,
                     nullptr,
                     thread()});
            });
    connect(manager, &NetServerManager::onUploadFailure, this, [=](QString id, int err, QString t) {
        add({QStringLiteral("uploadFailure"), 0, err, id, t, {}, 0, 0, nullptr, thread()});
    });
    connect(manager, &NetServerManager::onImageSuccess, this,
            [=](QString url, QString path, QWidget* w) {
                add({QStringLiteral("imageSuccess"), 0, 0, url, path, {}, 0, 0, w, thread()});
            });
    connect(manager, &NetServerManager::onImageFailure, this, [=](QString url, QWidget* w) {
        add({QStringLiteral("imageFailure"), 0, 0, url, {}, {}, 0, 0, w, thread()});
    });
    connect(manager, &NetServerManager::onDownloadSuccess, this,
            [=](QString id, QString url, QString path) {
                add({QStringLiteral("downloadSuccess"),
                     0,
                     0,
                     id,
                     path,
                     {{"url", url}},
                     0,
                     0,
                     nullptr,
                     thread()});
            });
    connect(manager, qOverload<QString, qint64, qint64>(&NetServerManager::onDownloadProgress),
            this, [=](QString id, qint64 done, qint64 total) {
                add({QStringLiteral("downloadProgress"),
                     0,
                     0,
                     id,
                     {},
                     {},
                     done,
                     total,
                     nullptr,
                     thread()});
            });
    connect(
        manager, &NetServerManager::onDownloadFailure, this, [=](QString id, int code, QString t) {
            add({QStringLiteral("downloadFailure"), 0, code, id, t, {}, 0, 0, nullptr, thread()});
        });
}

void NetRecorder::add(Event e)
{
    m_events.append(e);
}

bool NetRecorder::matches(const Event& e, const QStringList& signals_,
                          const QVariant& codeOrId) const
{
    if (!signals_.contains(e.signal))
        return false;
    if (!codeOrId.isValid())
        return true;
    if (codeOrId.type() == QVariant::String)
        return e.id == codeOrId.toString();
    return e.code == codeOrId.toInt();
}

QList<NetRecorder::Event> NetRecorder::of(const QString& signal) const
{
    QList<Event> out;
    for (const Event& e : m_events) {
        if (e.signal == signal)
            out.append(e);
    }
    return out;
}

bool NetRecorder::waitForAny(const QStringList& signals_, const QVariant& codeOrId, Event* event,
                             int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        for (const Event& e : qAsConst(m_events)) {
            if (matches(e, signals_, codeOrId)) {
                if (event)
                    *event = e;
                return true;
            }
        }
        if (deadline.hasExpired())
            return false;
        QTest::qWait(10);
    }
}

bool NetRecorder::waitFor(const QString& signal, const QVariant& codeOrId, Event* event,
                          int timeoutMs)
{
    return waitForAny({signal}, codeOrId, event, timeoutMs);
}

bool NetFixture::start()
{
    static TestEnv env;
    env.applyToCurrentProcess();
    if (!m_server.start()) {
        m_error = m_server.errorString();
        return false;
    }
    return true;
}

QString NetFixture::home() const
{
    return qEnvironmentVariable("HOME");
}

bool NetFixture::signIn(MTData& session, const QString& account)
{
    const QString deviceId = QStringLiteral("dev-") + account;
    const qint64 userId = qint64(m_server.user(account).value(QLatin1String("userId")).toDouble());
    const QJsonObject made =
        m_server
            .control("POST", QStringLiteral("/control/session"),
                     QJsonObject{{"userId", userId}, {"deviceModel", "PC"}, {"deviceId", deviceId}})
            .toObject();
    if (made.value(QLatin1String("accessKey")).toString().isEmpty()) {
        m_error = QStringLiteral("no session for ") + account;
        return false;
    }
    DBEditor editor;
    session.setUserId(editor, userId);
    session.setCustId(editor, 1);
    session.setMyAccount(editor, account);
    session.setAccessKey(editor, made.value(QLatin1String("accessKey")).toString());
    session.setClientId(editor, made.value(QLatin1String("clientId")).toString());
    session.setDeviceId(editor, deviceId);
    if (session.attachedDbManager())
        session.applyCommit(editor);
    return true;
}

namespace {
// Reads a JSON string starting at its opening quote; moves `pos` past the closing one.
QString readJsonString(const QByteArray& text, int& pos)
{
    const int start = pos;
    for (++pos; pos < text.size() && text.at(pos) != '"'; ++pos) {
        if (text.at(pos) == '\\')
            ++pos;
    }
    ++pos;
    const QByteArray literal = "[" + text.mid(start, pos - start) + "]";
    return QJsonDocument::fromJson(literal).array().at(0).toString();
}
} // namespace

QStringList NetFixture::headerOrder(qint64 seq)
{
    const QByteArray text = m_server.controlRaw(
        "GET", QStringLiteral("/control/requests?n=1000&since=%1").arg(seq - 1));
    const int entry = text.indexOf("{\"seq\":" + QByteArray::number(seq) + ",");
    if (entry < 0)
        return {};
    int pos = text.indexOf("\"headers\":{", entry);
    if (pos < 0)
        return {};
    pos += int(qstrlen("\"headers\":{"));
    QStringList names;
    while (pos < text.size() && text.at(pos) != '}') {
        if (text.at(pos) == ',') {
            ++pos;
            continue;
        }
        names << readJsonString(text, pos); // the name
        ++pos;                              // ':'
        readJsonString(text, pos);          // the value
    }
    return names;
}

const QStringList& NetFixture::identifyingHeaders()
{
    static const QStringList names = {
        QStringLiteral("accept-charset"), QStringLiteral("connection"),
        QStringLiteral("accept"),         QStringLiteral("device-platform"),
        QStringLiteral("app-ver"),        QStringLiteral("user-id"),
        QStringLiteral("cust-id"),        QStringLiteral("device-id"),
        QStringLiteral("access-key"),     QStringLiteral("client-id"),
        QStringLiteral("content-type")};
    return names;
}

QStringList NetFixture::identifyingHeaderOrder(qint64 seq)
{
    QStringList order;
    for (const QString& name : headerOrder(seq)) {
        if (identifyingHeaders().contains(name))
            order << name;
    }
    return order;
}

QJsonObject NetFixture::lastRequest(const QString& pathPrefix, qint64 since)
{
    const QJsonArray entries = m_server.requests(pathPrefix, since);
    return entries.isEmpty() ? QJsonObject() : entries.last().toObject();
}

namespace {
QMutex g_logMutex;
QStringList g_lines;
QtMessageHandler g_previous = nullptr;
} // namespace

LogCapture::LogCapture()
{
    QMutexLocker lock(&g_logMutex);
    g_lines.clear();
    g_previous = qInstallMessageHandler(&LogCapture::handler);
    m_previous = g_previous;
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    {
        QMutexLocker lock(&g_logMutex);
        g_lines.append(text);
    }
    if (g_previous)
        g_previous(type, context, text);
}

QStringList LogCapture::lines() const
{
    QMutexLocker lock(&g_logMutex);
    return g_lines;
}

bool LogCapture::contains(const QString& text) const
{
    const QStringList all = lines();
    for (const QString& line : all) {
        if (line.contains(text))
            return true;
    }
    return false;
}
