#include "netfixture.h"

#include "common/testenv.h"
#include "main/mtdata.h"
#include "net/netservermanager.h"

#include <QDeadlineTimer>
#include <QJsonArray>
#include <QMutex>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTest>

NetRecorder::NetRecorder(NetServerManager* m)
{
    using N = NetServerManager;
    using Progress = void (N::*)(QString, qint64, qint64);
    connect(m, &N::onHttpSuccess, this,
            [=](int c, QJsonObject o) { add("success", c, 0, {}, {}, o); });
    connect(m, &N::onHttpFailure, this,
            [=](int c, int e, QString t) { add("failure", c, e, {}, t); });
    connect(m, &N::onUploadSuccess, this,
            [=](QString id, QJsonObject o) { add("uploadSuccess", 0, 0, id, {}, o); });
    connect(m, Progress(&N::onUploadProgress), this,
            [=](QString id, qint64 d, qint64 t) { add("uploadProgress", 0, 0, id, {}, {}, d, t); });
    connect(m, &N::onUploadFailure, this,
            [=](QString id, int e, QString t) { add("uploadFailure", 0, e, id, t); });
    connect(m, &N::onImageSuccess, this, [=](QString url, QString path, QWidget* w) {
        add("imageSuccess", 0, 0, url, path, {}, 0, 0, w);
    });
    connect(m, &N::onImageFailure, this,
            [=](QString url, QWidget* w) { add("imageFailure", 0, 0, url, {}, {}, 0, 0, w); });
    connect(m, &N::onDownloadSuccess, this, [=](QString id, QString url, QString path) {
        add("downloadSuccess", 0, 0, id, path, {{"url", url}});
    });
    connect(m, Progress(&N::onDownloadProgress), this, [=](QString id, qint64 d, qint64 t) {
        add("downloadProgress", 0, 0, id, {}, {}, d, t);
    });
    connect(m, &N::onDownloadFailure, this,
            [=](QString id, int e, QString t) { add("downloadFailure", 0, e, id, t); });
}

void NetRecorder::add(const QString& signal, int code, int errCode, const QString& id,
                      const QString& text, const QJsonObject& object, qint64 done, qint64 total,
                      QWidget* widget)
{
    m_events.append({signal, code, errCode, id, text, object, done, total, widget});
}

QList<NetRecorder::Event> NetRecorder::of(const QString& signal, const QString& id) const
{
    QList<Event> out;
    for (const Event& e : m_events) {
        if (e.signal == signal && (id.isNull() || e.id == id))
            out.append(e);
    }
    return out;
}

bool NetRecorder::waitFor(const QStringList& signals_, const QVariant& codeOrId, Event* event,
                          int timeoutMs)
{
    const bool byId = codeOrId.type() == QVariant::String;
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        for (const Event& e : qAsConst(m_events)) {
            if (signals_.contains(e.signal) &&
                (byId ? e.id == codeOrId.toString() : e.code == codeOrId.toInt())) {
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

NetRecorder::Event NetRecorder::answer(const QVariant& codeOrId, int timeoutMs)
{
    Event e;
    e.signal = e.text = QStringLiteral("timeout");
    waitFor({"success", "failure", "uploadSuccess", "uploadFailure", "imageSuccess", "imageFailure",
             "downloadSuccess", "downloadFailure"},
            codeOrId, &e, timeoutMs);
    return e;
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

const QStringList& NetFixture::identifyingHeaders()
{
    static const QStringList names = {
        "accept-charset", "connection", "accept",     "device-platform", "app-ver",     "user-id",
        "cust-id",        "device-id",  "access-key", "client-id",       "content-type"};
    return names;
}

QStringList NetFixture::sentHeaders(qint64 seq)
{
    // Read from the control interface's own text, which keeps the arrival order that a parsed
    // JSON object would lose.
    const QString text = QString::fromUtf8(m_server.controlRaw(
        "GET", QStringLiteral("/control/requests?n=1000&since=%1").arg(seq - 1)));
    const int entry = text.indexOf(QStringLiteral("{\"seq\":%1,").arg(seq));
    const int from = text.indexOf(QStringLiteral("\"headers\":{"), entry);
    if (entry < 0 || from < 0)
        return {};
    // Name-value pairs up to the brace that closes the headers.
    static const QRegularExpression pair(QStringLiteral(R"re("([^"]+)":"(?:[^"\\]|\\.)*"|\})re"));
    QStringList names;
    for (auto it = pair.globalMatch(text, from + 11); it.hasNext();) {
        const QString name = it.next().captured(1);
        if (name.isEmpty())
            break;
        if (identifyingHeaders().contains(name))
            names << name;
    }
    return names;
}

QJsonObject NetFixture::lastRequest(const QString& pathPrefix, qint64 since)
{
    const QJsonArray entries = m_server.requests(pathPrefix, since);
    return entries.isEmpty() ? QJsonObject() : entries.last().toObject();
}

QString NetFixture::writeIni(int port, bool withCa)
{
    static int n = 0;
    const QString path = m_server.dataDir() + QStringLiteral("/test%1.ini").arg(++n);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write("[Server]\nHost=localhost\nRestPort=" + QByteArray::number(port) + "\n");
    if (withCa)
        file.write("CaFile=" + m_server.caFile().toUtf8() + "\n");
    return path;
}

int NetFixture::freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

namespace {
QMutex g_logMutex;
QStringList g_lines;
QtMessageHandler g_previous = nullptr;

void captureLine(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    {
        QMutexLocker lock(&g_logMutex);
        g_lines.append(text);
    }
    if (g_previous)
        g_previous(type, context, text);
}
} // namespace

LogCapture::LogCapture()
{
    QMutexLocker lock(&g_logMutex);
    g_lines.clear();
    m_previous = g_previous = qInstallMessageHandler(&captureLine);
}

LogCapture::~LogCapture()
{
    qInstallMessageHandler(m_previous);
}

QStringList LogCapture::lines() const
{
    QMutexLocker lock(&g_logMutex);
    return g_lines;
}

bool LogCapture::contains(const QString& text) const
{
    const QStringList all = lines();
    return std::any_of(all.begin(), all.end(), [&](const QString& l) { return l.contains(text); });
}
