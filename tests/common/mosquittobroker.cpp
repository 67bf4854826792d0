#include "common/mosquittobroker.h"

#include "common/childprocess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUuid>

#include <pwd.h>
#include <unistd.h>

namespace {
const QString kAdminUser = QStringLiteral("mt-broker-tools");

QString brokerProgram()
{
    const QString path = QStandardPaths::findExecutable(QStringLiteral("mosquitto"));
    return !path.isEmpty() ? path
                           : QStandardPaths::findExecutable(
                                 QStringLiteral("mosquitto"),
                                 {QStringLiteral("/usr/sbin"), QStringLiteral("/usr/local/sbin")});
}
} // namespace

MosquittoBroker::MosquittoBroker()
    : m_adminPassword(QUuid::createUuid().toString(QUuid::WithoutBraces))
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
    QStringList args{QStringLiteral("-b")};
    if (!m_hasUsers)
        args << QStringLiteral("-c");
    args << m_dir.filePath(QStringLiteral("passwd")) << user << password;
    if (!runTool(QStringLiteral("mosquitto_passwd"), args))
        return false;
    m_hasUsers = true;
    return true;
}

bool MosquittoBroker::start()
{
    if (isRunning())
        return true;
    if (brokerProgram().isEmpty() || !m_dir.isValid()) {
        m_error = QStringLiteral("mosquitto is not installed");
        return false;
    }
    if (m_port == 0 && !addUser(kAdminUser, m_adminPassword))
        return false;
    // Another process may take the free port before the broker binds it; a first start tries
    // again on another one, a restart keeps its port.
    const bool firstStart = m_port == 0;
    for (int attempt = 0; attempt < (firstStart ? 5 : 1); ++attempt) {
        if (firstStart) {
            QTcpServer probe;
            probe.listen(QHostAddress::LocalHost);
            m_port = probe.serverPort();
        }
        if (startOnce())
            return true;
        stop();
    }
    m_error =
        QStringLiteral("mosquitto does not listen on port %1; log:\n%2").arg(m_port).arg(log());
    return false;
}

bool MosquittoBroker::startOnce()
{
    const passwd* pw = getpwuid(getuid());
    QStringList lines{
        QStringLiteral("listener %1 127.0.0.1").arg(m_port),
        QStringLiteral("allow_anonymous false"),
        QStringLiteral("password_file ") + m_dir.filePath(QStringLiteral("passwd")),
        // Started as root the broker would switch to the "mosquitto" account, which cannot
        // read this folder.
        QStringLiteral("user ") + QString::fromLocal8Bit(pw ? pw->pw_name : "root"),
        QStringLiteral("log_dest file ") + m_dir.filePath(QStringLiteral("mosquitto.log")),
        QStringLiteral("connection_messages true"),
        // Bursts of thousands of messages for one offline or slow session must not be cut.
        QStringLiteral("max_queued_messages 0"),
    };
    if (m_persistence) {
        lines << QStringLiteral("persistence true")
              << QStringLiteral("persistence_location %1/").arg(m_dir.path())
              << QStringLiteral("autosave_interval 1");
    }
    const QString config = m_dir.filePath(QStringLiteral("mosquitto.conf"));
    QFile f(config);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        f.write(lines.join(QLatin1Char('\n')).toUtf8() + '\n') < 0)
        return false;
    f.close();
    m_process.start(brokerProgram(), {QStringLiteral("-c"), config});
    QDeadlineTimer deadline(10000);
    while (m_process.waitForStarted(5000) && isRunning() && !deadline.hasExpired()) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_port);
        if (socket.waitForConnected(1000))
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

QStringList MosquittoBroker::clientArguments() const
{
    return {QStringLiteral("-h"), host(),
            QStringLiteral("-p"), QString::number(m_port),
            QStringLiteral("-V"), QStringLiteral("mqttv31"),
            QStringLiteral("-u"), kAdminUser,
            QStringLiteral("-P"), m_adminPassword};
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
    return runTool(QStringLiteral("mosquitto_sub"), args);
}

bool MosquittoBroker::publish(const QString& topic, const QByteArray& payload)
{
    return runTool(QStringLiteral("mosquitto_pub"),
                   clientArguments() << QStringLiteral("-q") << QStringLiteral("1")
                                     << QStringLiteral("-t") << topic << QStringLiteral("-s"),
                   payload);
}

bool MosquittoBroker::startPublishingLines(QProcess* process, const QString& topic,
                                           const QList<QByteArray>& lines)
{
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->start(QStringLiteral("mosquitto_pub"),
                   clientArguments() << QStringLiteral("-q") << QStringLiteral("1")
                                     << QStringLiteral("-t") << topic << QStringLiteral("-l"));
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
    p.waitForStarted(5000);
    p.write(input);
    p.closeWriteChannel();
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        m_error = program + QStringLiteral(" failed: ") + p.errorString() + QLatin1Char(' ') +
                  QString::fromLocal8Bit(p.readAll());
        ChildProcess::stop(p, 1000);
        return false;
    }
    return true;
}
