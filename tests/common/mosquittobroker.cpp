#include "common/mosquittobroker.h"

#include "common/childprocess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QThread>
#include <QUuid>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
const QStringList kSbinPaths = {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")};

QString brokerProgram()
{
    QString path = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(QStringLiteral("mosquitto"), kSbinPaths);
    return path;
}

sockaddr_in loopback(quint16 port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

// A port nobody listens on right now (the kernel's choice for an ephemeral bind).
quint16 freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return 0;
    sockaddr_in a = loopback(0);
    socklen_t len = sizeof a;
    quint16 port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(fd);
    return port;
}

bool accepts(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return false;
    const sockaddr_in a = loopback(port);
    const bool ok = ::connect(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return ok;
}
} // namespace

MosquittoBroker::MosquittoBroker()
    : m_adminUser(QStringLiteral("mt-broker-tools")),
      m_adminPassword(QUuid::createUuid().toString(QUuid::WithoutBraces))
{
    // Its complaint about running as root and anything else it prints before the log is open.
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(m_dir.filePath(QStringLiteral("mosquitto.out")),
                                    QIODevice::Append);
}

MosquittoBroker::~MosquittoBroker()
{
    stop();
}

bool MosquittoBroker::toolsAvailable()
{
    for (const char* tool : {"mosquitto_passwd", "mosquitto_pub", "mosquitto_sub"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            return false;
    }
    return !brokerProgram().isEmpty();
}

bool MosquittoBroker::addUser(const QString& user, const QString& password)
{
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    QStringList args{QStringLiteral("-b")};
    if (!m_hasUsers)
        args << QStringLiteral("-c");
    args << m_dir.filePath(QStringLiteral("passwd")) << user << password;
    if (!runTool(QStringLiteral("mosquitto_passwd"), args, QByteArray()))
        return false;
    m_hasUsers = true;
    return true;
}

bool MosquittoBroker::writeConfig()
{
    if (!m_adminAdded) {
        if (!addUser(m_adminUser, m_adminPassword))
            return false;
        m_adminAdded = true;
    }
    const passwd* pw = getpwuid(getuid());
    QStringList lines{
        QStringLiteral("listener %1 127.0.0.1").arg(m_port),
        QStringLiteral("allow_anonymous false"),
        QStringLiteral("password_file %1").arg(m_dir.filePath(QStringLiteral("passwd"))),
        // Started as root the broker would switch to the "mosquitto" account, which cannot
        // read this folder.
        QStringLiteral("user %1").arg(QString::fromLocal8Bit(pw ? pw->pw_name : "root")),
        QStringLiteral("log_dest file %1").arg(m_dir.filePath(QStringLiteral("mosquitto.log"))),
        QStringLiteral("connection_messages true"),
        // Bursts of thousands of messages for one offline or slow session must not be cut.
        QStringLiteral("max_queued_messages 0"),
    };
    if (m_persistence) {
        lines << QStringLiteral("persistence true")
              << QStringLiteral("persistence_location %1/").arg(m_dir.path())
              << QStringLiteral("autosave_interval 1");
    }
    QFile f(m_dir.filePath(QStringLiteral("mosquitto.conf")));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        m_error = QStringLiteral("cannot write the broker configuration");
        return false;
    }
    f.write(lines.join(QLatin1Char('\n')).toUtf8() + '\n');
    return true;
}

bool MosquittoBroker::start()
{
    if (isRunning())
        return true;
    const QString program = brokerProgram();
    if (program.isEmpty()) {
        m_error = QStringLiteral("mosquitto is not installed");
        return false;
    }
    const bool firstStart = m_port == 0;
    // Another process may take the free port before the broker binds it; a first start tries
    // again on another one.
    for (int attempt = 0; attempt < (firstStart ? 5 : 1); ++attempt) {
        if (firstStart)
            m_port = freePort();
        if (!writeConfig())
            return false;
        m_process.start(program,
                        {QStringLiteral("-c"), m_dir.filePath(QStringLiteral("mosquitto.conf"))});
        if (!m_process.waitForStarted(5000)) {
            m_error = QStringLiteral("mosquitto did not start: ") + m_process.errorString();
            return false;
        }
        if (waitUntilListening(10000))
            return true;
        stop();
    }
    m_error =
        QStringLiteral("mosquitto does not listen on port %1; log:\n%2").arg(m_port).arg(log());
    return false;
}

bool MosquittoBroker::waitUntilListening(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (!isRunning())
            return false;
        if (accepts(m_port))
            return true;
        QThread::msleep(20);
    }
    return false;
}

void MosquittoBroker::stop()
{
    ChildProcess::stop(m_process);
}

void MosquittoBroker::kill()
{
    if (!isRunning())
        return;
    m_process.kill();
    m_process.waitForFinished(5000);
}

QString MosquittoBroker::log() const
{
    QString text;
    for (const char* name : {"mosquitto.out", "mosquitto.log"}) {
        QFile f(m_dir.filePath(QString::fromLatin1(name)));
        if (f.open(QIODevice::ReadOnly))
            text += QString::fromUtf8(f.readAll());
    }
    return text;
}

bool MosquittoBroker::waitForLog(const QString& text, int timeoutMs) const
{
    QDeadlineTimer deadline(timeoutMs);
    while (!log().contains(text)) {
        if (deadline.hasExpired())
            return false;
        QThread::msleep(20);
    }
    return true;
}

QStringList MosquittoBroker::clientArguments(const QString& user, const QString& password) const
{
    const bool own = user.isEmpty();
    return {QStringLiteral("-h"), host(),
            QStringLiteral("-p"), QString::number(m_port),
            QStringLiteral("-V"), QStringLiteral("mqttv31"),
            QStringLiteral("-u"), own ? m_adminUser : user,
            QStringLiteral("-P"), own ? m_adminPassword : password};
}

bool MosquittoBroker::subscribeSession(const QString& clientId, const QStringList& topics)
{
    // -c keeps the session after the tool leaves; -E leaves once the broker confirmed the
    // subscriptions.
    QStringList args = clientArguments();
    args << QStringLiteral("-i") << clientId << QStringLiteral("-c") << QStringLiteral("-q")
         << QStringLiteral("1") << QStringLiteral("-E");
    for (const QString& topic : topics)
        args << QStringLiteral("-t") << topic;
    return runTool(QStringLiteral("mosquitto_sub"), args, QByteArray());
}

bool MosquittoBroker::publish(const QString& topic, const QByteArray& payload)
{
    QStringList args = clientArguments();
    args << QStringLiteral("-q") << QStringLiteral("1") << QStringLiteral("-t") << topic
         << QStringLiteral("-s");
    return runTool(QStringLiteral("mosquitto_pub"), args, payload);
}

bool MosquittoBroker::startPublishingLines(QProcess* process, const QString& topic,
                                           const QList<QByteArray>& lines)
{
    QStringList args = clientArguments();
    args << QStringLiteral("-q") << QStringLiteral("1") << QStringLiteral("-t") << topic
         << QStringLiteral("-l");
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->start(QStringLiteral("mosquitto_pub"), args);
    if (!process->waitForStarted(5000)) {
        m_error = QStringLiteral("mosquitto_pub did not start");
        return false;
    }
    for (const QByteArray& line : lines)
        process->write(line + '\n');
    process->closeWriteChannel();
    return true;
}

bool MosquittoBroker::publishLines(const QString& topic, const QList<QByteArray>& lines)
{
    QProcess p;
    if (!startPublishingLines(&p, topic, lines))
        return false;
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        m_error = QStringLiteral("mosquitto_pub -l failed");
        return false;
    }
    return true;
}

bool MosquittoBroker::runTool(const QString& program, const QStringList& args,
                              const QByteArray& input)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForStarted(5000)) {
        m_error = program + QStringLiteral(" did not start");
        return false;
    }
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        m_error = program + QStringLiteral(" failed: ") + QString::fromLocal8Bit(p.readAll());
        p.kill();
        p.waitForFinished(1000);
        return false;
    }
    return true;
}
