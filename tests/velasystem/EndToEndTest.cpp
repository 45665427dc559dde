// The library loaded by a process as the relay loads it, driven from outside
// with the real velasim binary and with raw socket clients.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

struct Result
{
    int status;
    QString out;
};

QString binary(const char *name)
{
    return qEnvironmentVariable("VELARELAY_BIN") + '/' + name;
}

// A raw control client, for what velasim does not do: long lines, several
// clients at once, watching the connection close.
class RawClient
{
public:
    explicit RawClient(const QByteArray &path)
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, path.constData(), sizeof address.sun_path);
        m_fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        timeval timeout{10, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        connected = ::connect(m_fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    }
    ~RawClient() { ::close(m_fd); }

    void send(const QByteArray &bytes)
    {
        for (qsizetype sent = 0; sent < bytes.size();) {
            const ssize_t n = ::send(m_fd, bytes.constData() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0)
                return;
            sent += n;
        }
    }
    // The next reply line; empty when the connection closed.
    QByteArray line()
    {
        for (;;) {
            const int end = m_buffer.indexOf('\n');
            if (end >= 0) {
                const QByteArray line = m_buffer.left(end);
                m_buffer.remove(0, end + 1);
                return line;
            }
            char chunk[4096];
            const ssize_t got = ::recv(m_fd, chunk, sizeof chunk, 0);
            if (got <= 0)
                return QByteArray();
            m_buffer.append(chunk, int(got));
        }
    }

    bool connected = false;

private:
    int m_fd = -1;
    QByteArray m_buffer;
};

class EndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        socket = dir.filePath("control.sock");
        scenario = dir.filePath("start.scenario");
    }

    void TearDown() override
    {
        if (host.state() == QProcess::NotRunning)
            return;
        host.closeWriteChannel();
        EXPECT_TRUE(host.waitForFinished(20000));
        EXPECT_EQ(host.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(host.exitCode(), 0) << host.readAllStandardError().constData();
    }

    static void write(const QString &path, const QByteArray &text)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
    }

    void startHost(const QByteArray &scenarioText)
    {
        write(scenario, scenarioText);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VELASYSTEM_SCENARIO", scenario);
        env.insert("VELASYSTEM_CONTROL", socket);
        host.setProcessEnvironment(env);
        host.start(QCoreApplication::applicationDirPath() + "/velasystem_simhost", QStringList());
        ASSERT_TRUE(host.waitForStarted());
    }

    // Waits for the host to print this line; earlier lines are passed over.
    bool hostSays(const QByteArray &expected)
    {
        for (;;) {
            while (host.canReadLine()) {
                if (host.readLine().trimmed() == expected)
                    return true;
            }
            if (!host.waitForReadyRead(10000))
                return false;
        }
    }

    Result velasim(const QStringList &args, const QString &socketPath = QString())
    {
        QProcess tool;
        tool.start(binary("velasim"), QStringList({"--socket", socketPath.isEmpty() ? socket : socketPath}) + args);
        EXPECT_TRUE(tool.waitForFinished(20000));
        return {tool.exitCode(), QString::fromUtf8(tool.readAllStandardOutput())};
    }

    QTemporaryDir dir;
    QString socket;
    QString scenario;
    QProcess host;
};

TEST_F(EndToEnd, VelasimDrivesTheLibraryInAnotherProcess)
{
    startHost("# a board and a voting hub\n\nhub add 0 pens=4\r\nhub add 1 type=2\n");
    ASSERT_TRUE(hostSays("ready"));

    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(socket).constData(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0600u);

    EXPECT_EQ(velasim({"hub", "add", "2", "pens=1"}).status, 0);
    EXPECT_TRUE(hostSays("hub 2"));
    const Result pen = velasim({"pen", "2", "1", "5", "6", "1", "0"});
    EXPECT_EQ(pen.status, 0);
    EXPECT_EQ(pen.out, "ok\n");
    EXPECT_TRUE(hostSays("pen 1 5 6 1 0"));

    const Result calls = velasim({"", "calls"});
    EXPECT_EQ(calls.status, 0);
    EXPECT_EQ(calls.out,
              "ok 3\nhub setTouchReportMode 0 1\nhub setTouchReportMode 1 1\n"
              "hub setTouchReportMode 2 1\n");

    const Result bad = velasim({"pen", "9", "1", "5", "6", "1", "0"});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.out, "error no connected hub 9\n");
}

TEST_F(EndToEnd, PlayRunsAFileWithPausesAndStopsAtTheFirstError)
{
    startHost("");
    ASSERT_TRUE(hostSays("ready"));
    const QString good = dir.filePath("good.play");
    write(good, "# comment\nping\n\nsleep 20\nhub add 4\n   \nhubs\n");
    const Result played = velasim({"play", good});
    EXPECT_EQ(played.status, 0);
    EXPECT_EQ(played.out,
              "ok pong\nok\nok 4:type=1,pens=0,touches=0,erasers=0,touch=0,erase=0,"
              "virtual=0,state=0,enhanced=1\n");

    const QString bad = dir.filePath("bad.play");
    write(bad, "hub add 5\nhub add 5\nhub add 6\n");
    const Result stopped = velasim({"play", bad});
    EXPECT_EQ(stopped.status, 1);
    EXPECT_EQ(stopped.out, "ok\nerror hub 5 is already connected\n");
    EXPECT_EQ(velasim({"hub", "remove", "6"}).status, 1);

    EXPECT_EQ(velasim({"play", dir.filePath("missing.play")}).status, 2);
}

TEST_F(EndToEnd, MissingSocketGivesStatusTwo)
{
    EXPECT_EQ(velasim({"ping"}, dir.filePath("nobody.sock")).status, 2);
}

TEST_F(EndToEnd, StaleSocketIsReplaced)
{
    // A socket file whose server has gone, as a crashed relay leaves it.
    {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(socket).constData(), sizeof address.sun_path);
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        ::close(fd);
    }
    startHost("");
    ASSERT_TRUE(hostSays("ready"));
    EXPECT_EQ(velasim({"ping"}).out, "ok pong\n");
}

TEST_F(EndToEnd, ClientsAreServedAtOnceEachInOrder)
{
    startHost("hub add 0\n");
    ASSERT_TRUE(hostSays("ready"));
    RawClient a(QFile::encodeName(socket));
    RawClient b(QFile::encodeName(socket));
    ASSERT_TRUE(a.connected && b.connected);
    a.send("ping\nhubs 1\n");
    b.send("devices 0\r\nping");
    EXPECT_EQ(a.line(), "ok pong");
    EXPECT_EQ(b.line(), "ok");
    EXPECT_EQ(a.line(), "error usage: hubs");
    // The unterminated "ping" was held back until its line feed came: had it
    // been answered at once, the lone line feed would now be an empty command.
    b.send("\nping\n");
    EXPECT_EQ(b.line(), "ok pong");
    EXPECT_EQ(b.line(), "ok pong");
    a.send("\xff\xfe\n");
    EXPECT_EQ(a.line(), "error the line is not valid UTF-8");
}

TEST_F(EndToEnd, LineLongerThanTheLimitDropsTheClient)
{
    startHost("");
    ASSERT_TRUE(hostSays("ready"));
    RawClient client(QFile::encodeName(socket));
    client.send(QByteArray(65536, 'x') + '\n');
    EXPECT_TRUE(client.line().startsWith("error unknown command 'xxx"));
    client.send(QByteArray(65537, 'x'));
    EXPECT_EQ(client.line(), "error line longer than 65536 bytes");
    EXPECT_EQ(client.line(), QByteArray());
    EXPECT_EQ(velasim({"ping"}).out, "ok pong\n");
}

TEST_F(EndToEnd, FailingScenarioLineStopsStartUp)
{
    startHost("hub add 0\n# fine so far\nhub add 0 pens=2\nhub add 1\n");
    ASSERT_TRUE(host.waitForFinished(20000));
    EXPECT_NE(host.exitCode(), 0);
    const QString error = QString::fromUtf8(host.readAllStandardError());
    EXPECT_TRUE(error.contains(scenario + ":3: hub add 0 pens=2: error hub 0 is already connected"))
        << qPrintable(error);
    EXPECT_FALSE(QFile::exists(socket));
}

} // namespace
