#include "Http_parser.h"

#include <gtest/gtest.h>

namespace {

const std::string kUpgradeRequest = "GET /chat HTTP/1.1\r\n"
                                    "Host:    127.0.0.1:9082   \r\n"
                                    "Upgrade: websocket\r\n"
                                    "Connection: Upgrade\r\n"
                                    "\r\n";

TEST(HttpParser, RequestInOneBufferGivesOneCompleteFrame)
{
    Http_parser parser;
    ASSERT_TRUE(parser.parse(kUpgradeRequest));
    ASSERT_EQ(parser.frames().size(), 1u);
    const Http_frame &frame = parser.lastFrame();
    EXPECT_TRUE(frame.isComplete());
    EXPECT_EQ(frame.method(), "GET");
    EXPECT_EQ(frame.uri(), "/chat");
    EXPECT_EQ(frame.statusCode(), 0);
    EXPECT_EQ(frame.headers().at("Host"), "127.0.0.1:9082");
    EXPECT_EQ(frame.headers().at("upgrade"), "websocket");
    EXPECT_EQ(parser.state(), Http_parser::HTTP_INIT);
}

TEST(HttpParser, StatusLineGivesCodeAndQuerystring)
{
    Http_parser parser;
    parser.parse("HTTP/1.1 101 Switching Protocols\r\n\r\n");
    EXPECT_EQ(parser.lastFrame().statusCode(), 101);
    EXPECT_EQ(parser.lastFrame().querystring(), "Switching");
}

TEST(HttpParser, RepeatedHeaderKeepsTheLastValue)
{
    Http_parser parser;
    parser.parse("GET / HTTP/1.1\r\nHost: a\r\nHost: b\r\n\r\n");
    EXPECT_EQ(parser.lastFrame().headers().at("Host"), "b");
}

TEST(HttpParser, SplitAtEveryBytePositionGivesTheSameFrame)
{
    for (std::size_t cut = 0; cut <= kUpgradeRequest.size(); ++cut) {
        Http_parser parser;
        parser.parse(kUpgradeRequest.substr(0, cut));
        parser.parse(kUpgradeRequest.substr(cut));
        ASSERT_EQ(parser.frames().size(), 1u) << "cut at " << cut;
        EXPECT_TRUE(parser.lastFrame().isComplete()) << "cut at " << cut;
        EXPECT_EQ(parser.lastFrame().headers().size(), 3u) << "cut at " << cut;
    }
}

TEST(HttpParser, UnfinishedLineWaitsForItsBreak)
{
    Http_parser parser;
    parser.parse("GET / HTTP/1.1\r\nHost: a\r\nUpgr");
    EXPECT_FALSE(parser.lastFrame().isComplete());
    EXPECT_EQ(parser.lastFrame().headers().count("Upgrade"), 0u);
    parser.parse("ade: websocket\r\n\r\n");
    EXPECT_TRUE(parser.lastFrame().isComplete());
    EXPECT_EQ(parser.lastFrame().headers().at("Upgrade"), "websocket");
}

TEST(HttpParser, UnusableStartLinesLeaveOneIncompleteFrame)
{
    Http_parser parser;
    parser.parse("hello\r\n");
    ASSERT_EQ(parser.frames().size(), 1u);
    EXPECT_FALSE(parser.lastFrame().isComplete());
    EXPECT_EQ(parser.state(), Http_parser::HTTP_INIT);
    for (int i = 0; i < 1000; ++i)
        parser.parse("junk\r\n");
    EXPECT_EQ(parser.frames().size(), 1u);
}

TEST(HttpParser, LoneLineFeedsHoldNoLine)
{
    Http_parser parser;
    parser.parse("GET / HTTP/1.1\nHost: a\n\n");
    EXPECT_TRUE(parser.frames().empty());
}

// RFC 7230 section 3.3.3: the body is exactly Content-Length bytes, breaks included.
TEST(HttpParser, BodyIsContentLengthBytes)
{
    Http_parser parser;
    parser.parse("POST /x HTTP/1.1\r\nContent-Length: 5\r\n\r\nab\r\ncdefghi\r\n");
    ASSERT_GE(parser.frames().size(), 1u);
    EXPECT_TRUE(parser.frames().front().isComplete());
    EXPECT_EQ(parser.frames().front().body(), "ab\r\nc");
}

TEST(HttpParser, ZeroContentLengthCompletesAtOnceAndKeepsTheNextRequest)
{
    Http_parser parser;
    parser.parse("POST /x HTTP/1.1\r\nContent-Length: 0\r\n\r\nGET /y HTTP/1.1\r\n\r\n");
    ASSERT_EQ(parser.frames().size(), 2u);
    EXPECT_TRUE(parser.frames()[0].isComplete());
    EXPECT_EQ(parser.frames()[1].uri(), "/y");
}

TEST(HttpParser, MessageAtTheBoundIsParsedOneByteMoreIsRefused)
{
    const std::string head = "GET / HTTP/1.1\r\nX: ";
    const std::string tail = "\r\n\r\n";
    const std::string filler(Http_parser::kMaxMessageBytes - head.size() - tail.size(), 'a');
    Http_parser atLimit;
    EXPECT_TRUE(atLimit.parse(head + filler + tail));
    EXPECT_TRUE(atLimit.lastFrame().isComplete());
    Http_parser overLimit;
    EXPECT_FALSE(overLimit.parse(head + filler + "a" + tail));
    EXPECT_EQ(overLimit.state(), Http_parser::HTTP_REFUSED);
    EXPECT_FALSE(overLimit.parse(kUpgradeRequest));
}

TEST(HttpParser, EndlessLineAndHugeContentLengthAreRefused)
{
    Http_parser line;
    EXPECT_TRUE(line.parse(std::string(Http_parser::kMaxMessageBytes, 'a')));
    EXPECT_FALSE(line.parse("a"));
    Http_parser body;
    EXPECT_FALSE(body.parse("POST / HTTP/1.1\r\nContent-Length: 99999999999999999999\r\n\r\n"));
}

TEST(HttpParser, UnclaimedFramesAreBounded)
{
    Http_parser parser;
    std::string requests;
    for (std::size_t i = 0; i < Http_parser::kMaxFrames; ++i)
        requests += "GET / HTTP/1.1\r\n\r\n";
    EXPECT_TRUE(parser.parse(requests));
    EXPECT_FALSE(parser.parse("GET / HTTP/1.1\r\n\r\n"));
    EXPECT_EQ(parser.frames().size(), Http_parser::kMaxFrames);
}

} // namespace
