#include "netfixture.h"

#include "common/testenv.h"

NetRecorder::NetRecorder(NetServerManager* m)
{
    using N = NetServerManager;
    listen(m, &N::onHttpSuccess, "success");
    listen(m, &N::onHttpFailure, "failure");
    listen(m, &N::onUploadSuccess, "uploadSuccess");
    listen<QString, qint64, qint64>(m, &N::onUploadProgress, "uploadProgress");
    listen(m, &N::onUploadFailure, "uploadFailure");
    listen(m, &N::onImageSuccess, "imageSuccess");
    listen(m, &N::onImageFailure, "imageFailure");
    listen(m, &N::onDownloadSuccess, "downloadSuccess");
    listen<QString, qint64, qint64>(m, &N::onDownloadProgress, "downloadProgress");
    listen(m, &N::onDownloadFailure, "downloadFailure");
}

QList<NetRecorder::Event> NetRecorder::of(const QString& signal, const QString& id) const
{
    QList<Event> out;
    for (const Event& e : m_events) {
        if (e.signal == signal && (id.isNull() || e.args.value(0).toString() == id))
            out.append(e);
    }
    return out;
}

NetRecorder::Event NetRecorder::answer(const QVariant& codeOrId, int timeoutMs)
{
    for (QDeadlineTimer deadline(timeoutMs); !deadline.hasExpired(); QTest::qWait(10)) {
        for (const Event& e : qAsConst(m_events)) {
            if (!e.signal.endsWith(QLatin1String("Progress")) && e.args.value(0) == codeOrId)
                return e;
        }
    }
    return {QStringLiteral("timeout"), {}};
}

bool NetFixture::start(bool withStore)
{
    static TestEnv env;
    env.applyToCurrentProcess();
    clearLog();
    if (!m_server.start()) {
        m_error = m_server.errorString();
        return false;
    }
    if (withStore)
        m_db = std::make_unique<DBManager>(DBManager::databaseFilePath(QStringLiteral("user001")),
                                           QString::fromLatin1(DBManager::kConnection),
                                           QString::fromLatin1(DBManager::kPassword), 1);
    m_session = std::make_unique<MTData>(m_db.get());
    m_net = std::make_unique<NetServerManager>(ServerConfig::fromFile(m_server.clientIni()));
    if (m_db)
        m_net->setDbPath(m_db->dbPath());
    m_recorder = std::make_unique<NetRecorder>(m_net.get());
    return (!m_db || m_db->isOpen()) && signIn();
}

bool NetFixture::signIn()
{
    const int userId = m_server.user(QStringLiteral("user001"))["userId"].toInt();
    const QJsonObject body{{"userId", userId}, {"deviceModel", "PC"}, {"deviceId", "dev-user001"}};
    const QJsonValue made = m_server.control("POST", "/control/session", body);
    DBEditor editor;
    m_session->setUserId(editor, userId);
    m_session->setCustId(editor, 1);
    m_session->setMyAccount(editor, QStringLiteral("user001"));
    m_session->setAccessKey(editor, made["accessKey"].toString());
    m_session->setClientId(editor, made["clientId"].toString());
    m_session->setDeviceId(editor, QStringLiteral("dev-user001"));
    if (m_db)
        m_session->applyCommit(editor);
    m_error = QStringLiteral("no session for user001");
    return !m_session->accessKey().isEmpty();
}

namespace {
const QStringList kHeaderNames = {"accept-charset", "connection", "accept",      "device-platform",
                                  "app-ver",        "user-id",    "cust-id",     "device-id",
                                  "access-key",     "client-id",  "content-type"};
} // namespace

QStringList NetFixture::identifyingHeaders(MTData& session, const QString& contentType)
{
    QStringList values = {"UTF-8", "Keep-alive", "application/json", "C", "1046"};
    values << QString::number(session.userId()) << QString::number(session.custId())
           << session.deviceId() << session.accessKey() << session.clientId() << contentType;
    QStringList headers;
    for (int i = 0; i < values.size(); ++i) {
        if (!values.at(i).isEmpty())
            headers << kHeaderNames.at(i) + QStringLiteral(": ") + values.at(i);
    }
    return headers;
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
    static const QRegularExpression pair(QStringLiteral(R"re("([^"]+)":"((?:[^"\\]|\\.)*)"|\})re"));
    QStringList headers;
    for (auto it = pair.globalMatch(text, from + 11); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        if (match.captured(1).isEmpty())
            break;
        if (kHeaderNames.contains(match.captured(1)))
            headers << match.captured(1) + QStringLiteral(": ") + match.captured(2);
    }
    return headers;
}

QString NetFixture::writeIni(int port, bool withCa)
{
    QFile file(m_server.dataDir() + QStringLiteral("/test-%1-%2.ini").arg(port).arg(withCa));
    const QByteArray ca = withCa ? "CaFile=" + m_server.caFile().toUtf8() : QByteArray();
    if (file.open(QIODevice::WriteOnly))
        file.write("[Server]\nHost=localhost\nRestPort=" + QByteArray::number(port) + "\n" + ca);
    return file.fileName();
}

namespace {
QMutex g_logMutex;
QStringList g_log;
QtMessageHandler g_previous = nullptr;

void logLine(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    {
        QMutexLocker lock(&g_logMutex);
        g_log.append(text);
    }
    if (g_previous)
        g_previous(type, context, text);
}
} // namespace

QStringList NetFixture::log()
{
    QMutexLocker lock(&g_logMutex);
    return g_log;
}

void NetFixture::clearLog()
{
    // Installed once, after the test library's own handler, which then still prints every line.
    [[maybe_unused]] static const bool installed = (g_previous = qInstallMessageHandler(&logLine));
    QMutexLocker lock(&g_logMutex);
    g_log.clear();
}
