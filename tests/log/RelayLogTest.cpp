#include "RelayLog.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

std::chrono::steady_clock::time_point g_now;

// Captures what the log writes, line by line.
class RelayLogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(::pipe2(m_pipe, O_NONBLOCK), 0);
        RelayLog::setDescriptorForTesting(m_pipe[1]);
        RelayLog::setClockForTesting([] { return g_now; });
        g_now = std::chrono::steady_clock::time_point(1h);
    }
    void TearDown() override
    {
        RelayLog::flush();
        RelayLog::setDescriptorForTesting(2);
        RelayLog::setClockForTesting(nullptr);
        ::close(m_pipe[0]);
        ::close(m_pipe[1]);
    }

    std::vector<std::string> lines()
    {
        // A pipe's read takes everything written so far, up to the pipe's 64 KiB.
        std::string text(65536, '\0');
        text.resize(static_cast<std::size_t>(std::max<ssize_t>(0, ::read(m_pipe[0], text.data(), text.size()))));
        std::vector<std::string> result;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            result.push_back(line);
        return result;
    }

    int m_pipe[2] = {-1, -1};
};

TEST_F(RelayLogTest, LinesFromManyThreadsAreWholeAndPrefixed)
{
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t] {
            for (int i = 0; i < 50; ++i)
                RelayLog::info("thread " + std::to_string(t) + " line\nwith a break");
        });
    }
    for (auto &thread : threads)
        thread.join();
    const auto written = lines();
    ASSERT_EQ(written.size(), 200u);
    for (const std::string &line : written)
        EXPECT_TRUE(line.size() == 37 && line.rfind("VelaRelay: thread ", 0) == 0
                    && line.substr(19) == " line with a break")
            << line;
}

TEST_F(RelayLogTest, ARepeatedKindIsBoundedAndWhatWasLeftOutIsCounted)
{
    for (int i = 0; i < 25; ++i)
        RelayLog::repeated("probes", "probe " + std::to_string(i));
    RelayLog::repeated("other", "another kind has a bound of its own");
    std::vector<std::string> expected;
    for (int i = 0; i < 10; ++i)
        expected.push_back("VelaRelay: probe " + std::to_string(i));
    expected.push_back("VelaRelay: another kind has a bound of its own");
    EXPECT_EQ(lines(), expected);

    g_now += RelayLog::kWindow;
    RelayLog::repeated("probes", "probe 25");
    EXPECT_EQ(lines(),
              (std::vector<std::string>{"VelaRelay: 15 more probes left out of the log (at most 10 a second)",
                                        "VelaRelay: probe 25"}));

    for (int i = 0; i < 12; ++i)
        RelayLog::repeated("probes", "probe");
    RelayLog::flush();
    expected.assign(9, "VelaRelay: probe");
    expected.push_back("VelaRelay: 3 more probes left out of the log (at most 10 a second)");
    EXPECT_EQ(lines(), expected);
}

} // namespace
