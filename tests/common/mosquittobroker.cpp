#include "common/mosquittobroker.h"

#include "common/testenv.h"
#include "common/wait.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QUuid>

#include <algorithm>
#include <pwd.h>
#include <unistd.h>

namespace {
const QString kAdminUser = QStringLiteral("mt-broker-tools");

QString brokerProgram()
{
    return QStandardPaths::findExecutable(QStringLiteral("mosquitto"),
                                          qEnvironmentVariable("PATH").split(QLatin1Char(':')) +
                                              QStringList{"/usr/sbin", "/usr/local/sbin"});
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

bool MosquittoBroker::toolsAvailable()
{
    const QStringList tools{"mosquitto_passwd", "mosquitto_pub", "mosquitto_sub"};
    return !brokerProgram().isEmpty() &&
           std::all_of(tools.begin(), tools.end(), [](const QString& tool) {
               return !QStandardPaths::findExecutable(tool).isEmpty();
           });
}

bool MosquittoBroker::addUser(const QString& user, const QString& password)
{
    // -c makes the file anew: for the first user only.
    const QString file = m_dir.filePath(QStringLiteral("passwd"));
    const QStringList create = QFile::exists(file) ? QStringList() : QStringList{"-c"};
    return runTool(QStringLiteral("mosquitto_passwd"),
                   QStringList{"-b"} + create + QStringList{file, user, password});
}

bool MosquittoBroker::start()
{
    if (isRunning())
        return true;
    // Another process may take the free port before the broker binds it; a first start tries
    // again on another one, a restart keeps its port.
    const bool firstStart = m_port == 0;
    if (firstStart && !addUser(kAdminUser, m_adminPassword))
        return false;
    const passwd* pw = getpwuid(getuid());
    for (int attempt = 0; attempt < (firstStart ? 5 : 1); ++attempt) {
        if (firstStart) {
            QTcpServer probe;
            probe.listen(QHostAddress::LocalHost);
            m_port = probe.serverPort();
        }
        // Started as root the broker would switch to the "mosquitto" account, which cannot read
        // this folder. Bursts of thousands of messages for one offline or slow session must not
        // be cut.
        const QString config =
            QStringLiteral("listener %1 127.0.0.1\nallow_anonymous false\npassword_file %2/passwd\n"
                           "user %3\nlog_dest file %2/mosquitto.log\nconnection_messages true\n"
                           "max_queued_messages 0\n%4%5")
                .arg(QString::number(m_port), m_dir.path(),
                     QString::fromLocal8Bit(pw ? pw->pw_name : "root"),
                     m_persistence ? QStringLiteral("persistence true\npersistence_location %1/\n"
                                                    "autosave_interval 1\n")
                                         .arg(m_dir.path())
                                   : QString(),
                     m_maxInflight >= 0
                         ? QStringLiteral("max_inflight_messages %1\n").arg(m_maxInflight)
                         : QString());
        QFile f(m_dir.filePath(QStringLiteral("mosquitto.conf")));
        if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(config.toUtf8()) < 0)
            return false;
        f.close();
        m_process.start(brokerProgram(), {QStringLiteral("-c"), f.fileName()});
        for (QDeadlineTimer deadline(10000);
             m_process.waitForStarted(5000) && isRunning() && !deadline.hasExpired();
             QThread::msleep(20)) {
            QTcpSocket socket;
            socket.connectToHost(QHostAddress::LocalHost, m_port);
            if (socket.waitForConnected(1000))
                return true;
        }
        stop();
    }
    m_error =
        QStringLiteral("mosquitto does not listen on port %1; log:\n%2").arg(m_port).arg(log());
    return false;
}

QString MosquittoBroker::log() const
{
    return QString::fromUtf8(TestEnv::contents(m_dir.filePath(QStringLiteral("mosquitto.out"))) +
                             TestEnv::contents(m_dir.filePath(QStringLiteral("mosquitto.log"))));
}

bool MosquittoBroker::waitForLog(const QString& text, int timeoutMs) const
{
    return waitUntil([&] { return log().contains(text); }, timeoutMs);
}

QStringList MosquittoBroker::clientArguments() const
{
    return {"-h", host(),     "-p", QString::number(m_port), "-V", "mqttv31",
            "-u", kAdminUser, "-P", m_adminPassword};
}

bool MosquittoBroker::subscribeSession(const QString& clientId, const QStringList& topics)
{
    // -c keeps the session after the tool leaves; -E leaves once the broker confirmed the
    // subscriptions.
    QStringList args = clientArguments() + QStringList{"-i", clientId, "-c", "-q", "1", "-E"};
    for (const QString& topic : topics)
        args << QStringLiteral("-t") << topic;
    return runTool(QStringLiteral("mosquitto_sub"), args);
}

bool MosquittoBroker::publishLines(const QString& topic, const QList<QByteArray>& lines)
{
    // From one connection, in order.
    return runTool(QStringLiteral("mosquitto_pub"),
                   clientArguments() + QStringList{"-q", "1", "-t", topic, "-l"},
                   lines.isEmpty() ? QByteArray() : QByteArrayList(lines).join('\n') + '\n');
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
    if (p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return true;
    m_error = program + QStringLiteral(" failed: ") + p.errorString() + QLatin1Char(' ') +
              QString::fromLocal8Bit(p.readAll());
    ChildProcess::stop(p, 1000);
    return false;
}
