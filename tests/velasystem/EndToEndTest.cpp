// The library started as the relay starts it (VELASYSTEM_SCENARIO,
// VELASYSTEM_CONTROL), driven from another process with the real velasim
// binary and from plain socket clients.

#include <velasystem/VelaSystem.h>

#include <QElapsedTimer>
#include <QFile>
#include <QLocalSocket>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using Velasystem::VelaSystem;

namespace {

void write(const QString &path, const QByteArray &text)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
}

// The next reply line; empty when the connection closed.
QByteArray line(QLocalSocket &client)
{
    while (!client.canReadLine()) {
        if (!client.waitForReadyRead(10000))
            return QByteArray();
    }
    return client.readLine().chopped(1);
}

QTemporaryDir &dir()
{
    static QTemporaryDir dir;
    return dir;
}

// The library starts once per process. Its tests use hubs of their own.
class EndToEnd : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        ASSERT_TRUE(dir().isValid());
        // A socket file whose server has gone, as a crashed relay leaves it.
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        qstrncpy(address.sun_path, QFile::encodeName(socket()).constData(), sizeof address.sun_path);
        const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
        ASSERT_EQ(::bind(stale, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
        ::close(stale);
        write(dir().filePath("start.scenario"), "# a board and a voting hub\n\nhub add 0 pens=4\r\nhub add 1 type=2\n");
        qputenv("VELASYSTEM_SCENARIO", QFile::encodeName(dir().filePath("start.scenario")));
        qputenv("VELASYSTEM_CONTROL", QFile::encodeName(socket()));
        VelaSystem::instance()->initialise();
    }

    static QString socket() { return dir().filePath("control.sock"); }

    // The exit status, a space and what it printed.
    static QString velasim(const QStringList &args, const QString &socketPath = socket())
    {
        QProcess tool;
        tool.start(qEnvironmentVariable("VELARELAY_BIN") + "/velasim", QStringList({"--socket", socketPath}) + args);
        EXPECT_TRUE(tool.waitForFinished(20000));
        return QString::number(tool.exitCode()) + ' ' + QString::fromUtf8(tool.readAllStandardOutput());
    }
};

TEST_F(EndToEnd, StartsFromTheScenarioAndServesVelasimOnAPrivateSocket)
{
    struct stat st;
    ASSERT_EQ(::stat(QFile::encodeName(socket()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & (S_IFMT | 0777), S_IFSOCK | 0600u);
    EXPECT_EQ(velasim({"pen", "0", "1", "5", "6", "1", "0"}), "0 ok\n");
    EXPECT_EQ(velasim({"devices", "1"}), "0 ok\n");
    VelaSystem::instance()->startVelahubRegistrationSession(1);
    EXPECT_EQ(velasim({"", "calls"}), "0 ok 1\nsystem startVelahubRegistrationSession 1\n");
    EXPECT_EQ(velasim({"ping"}, dir().filePath("nobody.sock")), "2 ");
    const QString help = velasim({"help"});
    EXPECT_TRUE(help.startsWith("0 ok\nhub add INDEX [type=N]")) << qPrintable(help);
    EXPECT_TRUE(help.contains("\nhub remove INDEX\nhub set INDEX key=value ...\nhubs\n"));
    EXPECT_TRUE(help.endsWith("\nhelp\nping\n"));
}

TEST_F(EndToEnd, PlayRunsAFileWithPausesAndStopsAtTheFirstError)
{
    write(dir().filePath("good.play"), "# comment\nping\n\nsleep 200\nhub add 4\n   \ndevices 4\n");
    QElapsedTimer played;
    played.start();
    EXPECT_EQ(velasim({"play", dir().filePath("good.play")}), "0 ok pong\nok\nok\n");
    EXPECT_GE(played.elapsed(), 200);
    write(dir().filePath("bad.play"), "hub add 5\nhub add 5\nhub add 6\n");
    EXPECT_EQ(velasim({"play", dir().filePath("bad.play")}), "1 ok\nerror hub 5 is already connected\n");
    EXPECT_EQ(velasim({"hub", "remove", "6"}), "1 error no connected hub 6\n");
    EXPECT_EQ(velasim({"play", dir().filePath("missing.play")}), "2 ");
}

TEST_F(EndToEnd, ClientsAreServedAtOnceEachInOrderWithinTheLineLimit)
{
    QLocalSocket a;
    QLocalSocket b;
    a.connectToServer(socket());
    b.connectToServer(socket());
    ASSERT_TRUE(a.waitForConnected() && b.waitForConnected());
    a.write("ping\nhubs 1\n");
    b.write("devices 0\r\nping");
    EXPECT_EQ(line(a), "ok pong");
    EXPECT_EQ(line(b), "ok");
    EXPECT_EQ(line(a), "error usage: hubs");
    // The unterminated "ping" was held back until its line feed came: had it
    // been answered at once, the lone line feed would now be an empty command.
    b.write("\nping\n");
    EXPECT_EQ(line(b), "ok pong");
    EXPECT_EQ(line(b), "ok pong");
    a.write("\xff\xfe\n");
    EXPECT_EQ(line(a), "error the line is not valid UTF-8");

    a.write(QByteArray(65536, 'x') + '\n');
    EXPECT_TRUE(line(a).startsWith("error unknown command 'xxx"));
    a.write(QByteArray(65537, 'x'));
    EXPECT_EQ(line(a), "error line longer than 65536 bytes");
    EXPECT_EQ(line(a), QByteArray());
    b.write("ping\n");
    EXPECT_EQ(line(b), "ok pong");
}

// VELASYSTEM_CONTROL_MODE sets the socket's mode, as a service that opens it
// to a group of operators does; a value that is not a mode stops the start.
TEST(EndToEndDeathTest, ControlModeFromTheEnvironment)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    ASSERT_TRUE(dir().isValid());
    const QByteArray path = QFile::encodeName(dir().filePath("group.sock"));
    qunsetenv("VELASYSTEM_SCENARIO");
    qputenv("VELASYSTEM_CONTROL", path);
    qputenv("VELASYSTEM_CONTROL_MODE", "0660");
    struct stat st;
    EXPECT_EXIT(std::exit(VelaSystem::instance()->initialise() && ::stat(path.constData(), &st) == 0
                                  && (st.st_mode & 07777) == 0660
                              ? 0
                              : 3),
                ::testing::ExitedWithCode(0), "");
    for (const char *mode : {"rw-rw----", "1660"}) {
        qputenv("VELASYSTEM_CONTROL_MODE", mode);
        EXPECT_EXIT(std::exit(VelaSystem::instance()->initialise() || QFile::exists(path) ? 0 : 3),
                    ::testing::ExitedWithCode(3),
                    "VELASYSTEM_CONTROL_MODE '" + std::string(mode) + "' is not an octal mode");
    }
}

} // namespace
