#include "Base64.h"
#include "Sha1.h"
#include "Websocket_connection.h"
#include "Websocket_frame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

namespace {

std::string hex(const Sha1::Digest &digest)
{
    static const char digits[] = "0123456789abcdef";
    std::string out;
    for (std::uint8_t byte : digest) {
        out += digits[byte >> 4];
        out += digits[byte & 15];
    }
    return out;
}

struct VectorRow
{
    const char *name;
    std::string input;
    const char *expected;
};

// FIPS 180 example messages: empty, one block, two blocks, many blocks.
TEST(Sha1, FipsVectors)
{
    const VectorRow rows[] = {
        {"empty", "", "da39a3ee5e6b4b0d3255bfef95601890afd80709"},
        {"abc", "abc", "a9993e364706816aba3e25717850c26c9cd0d89d"},
        {"two blocks", "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "84983e441c3bd26ebaae4aa1f95129e5e54670f1"},
        {"million a", std::string(1000000, 'a'), "34aa973cd4c4daa4f61eeb2bdbad27316534016f"},
        {"55 bytes, padding fits", std::string(55, 'a'), "c1c8bbdc22796e28c0e15163d20899b65621d65a"},
        {"56 bytes, padding spills", std::string(56, 'a'), "c2db330f6083854c99d4b5bfb6e8f29f201be699"},
    };
    for (const VectorRow &row : rows)
        EXPECT_EQ(hex(Sha1::digest(row.input)), row.expected) << row.name;
}

// RFC 4648 section 10, both ways.
TEST(Base64, RfcVectors)
{
    const VectorRow rows[] = {
        {"empty", "", ""},           {"1", "f", "Zg=="},
        {"2", "fo", "Zm8="},         {"3", "foo", "Zm9v"},
        {"4", "foob", "Zm9vYg=="},   {"5", "fooba", "Zm9vYmE="},
        {"6", "foobar", "Zm9vYmFy"}, {"high bytes", "\xff\xfe\xfd", "//79"},
    };
    for (const VectorRow &row : rows) {
        EXPECT_EQ(Base64::encode(row.input), row.expected) << row.name;
        std::string decoded;
        EXPECT_TRUE(Base64::decode(row.expected, decoded)) << row.name;
        EXPECT_EQ(decoded, row.input) << row.name;
    }
}

// RFC 6455 section 1.3: the example key and its accept value.
const std::string kUpgraded = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                              "Sec-WebSocket-Protocol: relay-protocol\r\n"
                              "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n";
const std::string kBadRequest = "HTTP/1.1 400 Bad Request\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
const std::string kUpgradeRequired = "HTTP/1.1 426 Upgrade Required\r\nUpgrade: websocket\r\n"
                                     "Connection: Upgrade, close\r\nSec-WebSocket-Version: 13\r\n"
                                     "Content-Length: 0\r\n\r\n";

const std::vector<std::string> kValidLines = {
    "GET /relay HTTP/1.1",
    "Host: 127.0.0.1:9082",
    "Upgrade: websocket",
    "Connection: Upgrade",
    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==",
    "Sec-WebSocket-Protocol: relay-protocol",
    "Sec-WebSocket-Version: 13",
};

std::string join(const std::vector<std::string> &lines, const char *end = "\r\n")
{
    std::string request;
    for (const std::string &line : lines)
        request += line + end;
    return request + end;
}

std::string nameOf(const std::string &line)
{
    return line.substr(0, line.find(':'));
}

// The valid request with the line of the same name (or the request line) replaced.
std::string with(const std::string &line)
{
    std::vector<std::string> lines = kValidLines;
    const bool requestLine = line.find(':') == std::string::npos;
    for (std::string &old : lines) {
        if (requestLine ? &old == &lines.front() : nameOf(old) == nameOf(line))
            old = line;
    }
    return join(lines);
}

std::string without(const std::string &name)
{
    std::vector<std::string> lines = kValidLines;
    lines.erase(
        std::remove_if(lines.begin(), lines.end(), [&](const std::string &line) { return nameOf(line) == name; }),
        lines.end());
    return join(lines);
}

// Extra lines go right after the request line, so they come before the end of the head.
std::string plus(const std::string &lines)
{
    return kValidLines.front() + "\r\n" + lines + "\r\n" + join(kValidLines).substr(kValidLines.front().size() + 2);
}

std::string lowerCaseNames()
{
    std::vector<std::string> lines = kValidLines;
    for (std::size_t i = 1; i < lines.size(); ++i)
        std::transform(lines[i].begin(), lines[i].begin() + static_cast<long>(lines[i].find(':')), lines[i].begin(),
                       [](char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); });
    return join(lines);
}

std::string clientFrame(std::uint8_t opcode, const std::string &payload, bool masked = true)
{
    Websocket_frame frame;
    frame.opcode = opcode;
    frame.masked = masked;
    frame.maskKey = {1, 2, 3, 4};
    frame.payload = payload;
    return frame.encode();
}

std::string maskedText(const std::string &text)
{
    return clientFrame(Websocket_frame::Text, text);
}

struct UpgradeRow
{
    const char *name;
    std::string request;
    const std::string &response;
};

void PrintTo(const UpgradeRow &row, std::ostream *out)
{
    *out << row.name;
}

class Upgrade : public ::testing::TestWithParam<UpgradeRow>
{};

// A frame follows every request in the same bytes: it is a message only
// behind a request that was upgraded.
TEST_P(Upgrade, AnswersAndTakesWhatFollowsForFramesOnlyWhenUpgraded)
{
    const UpgradeRow &row = GetParam();
    const std::string bytes = row.request + maskedText("hi");
    Websocket_connection connection;
    Websocket_connection::Output out;
    connection.feed(bytes.data(), bytes.size(), out);
    EXPECT_EQ(out.bytes, row.response);
    const bool upgraded = &row.response == &kUpgraded;
    EXPECT_EQ(out.upgraded, upgraded);
    EXPECT_EQ(out.last, !upgraded);
    EXPECT_EQ(out.messages, upgraded ? std::vector<std::string>{"hi"} : std::vector<std::string>{});
    EXPECT_EQ(out.refusal.empty(), upgraded);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Upgrade,
    ::testing::Values(
        UpgradeRow{"valid", join(kValidLines), kUpgraded},
        UpgradeRow{"keep-alive listed before Upgrade", with("Connection: keep-alive, Upgrade"), kUpgraded},
        UpgradeRow{"another subprotocol listed first", with("Sec-WebSocket-Protocol: chat, relay-protocol"), kUpgraded},
        UpgradeRow{"lower-case header names", lowerCaseNames(), kUpgraded},
        UpgradeRow{"values in other case", with("Upgrade: WebSocket"), kUpgraded},
        UpgradeRow{"empty body announced", plus("Content-Length: 0"), kUpgraded},
        UpgradeRow{"POST", with("POST /relay HTTP/1.1"), kBadRequest},
        UpgradeRow{"HTTP/1.0", with("GET /relay HTTP/1.0"), kBadRequest},
        UpgradeRow{"HTTP/9.9", with("GET /relay HTTP/9.9"), kBadRequest},
        UpgradeRow{"request line of five words", with("GET /relay HTTP/1.1 and more"), kBadRequest},
        UpgradeRow{"request line with two spaces", with("GET  /relay HTTP/1.1"), kBadRequest},
        UpgradeRow{"not HTTP", "SSH-2.0-client\r\n", kBadRequest}, UpgradeRow{"no Host", without("Host"), kBadRequest},
        UpgradeRow{"two Hosts", plus("Host: 127.0.0.2"), kBadRequest},
        UpgradeRow{"header line without a colon", plus("Sec-WebSocket-Extensions"), kBadRequest},
        UpgradeRow{"space before the colon", plus("X-Note : a"), kBadRequest},
        UpgradeRow{"folded header line", plus("X-Note: one\r\n two"), kBadRequest},
        UpgradeRow{"control character in a value", plus(std::string("X-Note: a\0b", 11)), kBadRequest},
        UpgradeRow{"chunked body", plus("Transfer-Encoding: chunked") + "5\r\nhello\r\n0\r\n\r\n", kBadRequest},
        UpgradeRow{"negative Content-Length", plus("Content-Length: -1"), kBadRequest},
        UpgradeRow{"body announced", plus("Content-Length: 5") + "hello", kBadRequest},
        UpgradeRow{"bare line feeds", join(kValidLines, "\n"), kBadRequest},
        UpgradeRow{"Upgrade names another protocol", with("Upgrade: h2c"), kBadRequest},
        UpgradeRow{"Connection without Upgrade", with("Connection: keep-alive"), kBadRequest},
        UpgradeRow{"no key", without("Sec-WebSocket-Key"), kBadRequest},
        UpgradeRow{"two keys", plus("Sec-WebSocket-Key: AAAAAAAAAAAAAAAAAAAAAA=="), kBadRequest},
        UpgradeRow{"key not base64", with("Sec-WebSocket-Key: not a key at all!!!!!"), kBadRequest},
        UpgradeRow{"key of 15 bytes", with("Sec-WebSocket-Key: AAAAAAAAAAAAAAAAAAAA"), kBadRequest},
        UpgradeRow{"key with unused bits set", with("Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZR=="), kBadRequest},
        UpgradeRow{"only another subprotocol", with("Sec-WebSocket-Protocol: chat"), kBadRequest},
        UpgradeRow{"subprotocol only as a prefix", with("Sec-WebSocket-Protocol: relay-protocol-2"), kBadRequest},
        UpgradeRow{"no subprotocol", without("Sec-WebSocket-Protocol"), kBadRequest},
        UpgradeRow{"version 8", with("Sec-WebSocket-Version: 8"), kUpgradeRequired},
        UpgradeRow{"no version", without("Sec-WebSocket-Version"), kUpgradeRequired}),
    [](const ::testing::TestParamInfo<UpgradeRow> &row) {
        std::string name;
        for (const char c : std::string(row.param.name))
            name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
        return name;
    });

TEST(UpgradeInPieces, CompletesWhereverTheRequestIsCutAndKeepsWhatFollows)
{
    const std::string bytes = join(kValidLines) + maskedText("hi");
    for (std::size_t cut = 0; cut < bytes.size(); ++cut) {
        Websocket_connection connection;
        Websocket_connection::Output out;
        connection.feed(bytes.data(), cut, out);
        connection.feed(bytes.data() + cut, bytes.size() - cut, out);
        EXPECT_EQ(out.bytes, kUpgraded) << "cut at " << cut;
        EXPECT_EQ(out.messages, std::vector<std::string>{"hi"}) << "cut at " << cut;
    }
}

TEST(UpgradeInPieces, HeadAtTheBoundIsReadOneByteMoreIsRefused)
{
    const std::string head = plus("X-Fill: ");
    const std::size_t fill = Http_parser::kMaxHeadBytes - head.size();
    for (const std::size_t extra : {std::size_t{0}, std::size_t{1}}) {
        Http_parser parser;
        EXPECT_EQ(parser.parse(plus("X-Fill: " + std::string(fill + extra, 'a'))),
                  extra == 0 ? Http_parser::State::Complete : Http_parser::State::Malformed);
    }
    // A line that never ends is refused once it passes the bound.
    Http_parser endless;
    EXPECT_EQ(endless.parse(std::string(Http_parser::kMaxHeadBytes, 'a')), Http_parser::State::RequestLine);
    EXPECT_EQ(endless.parse("a"), Http_parser::State::Malformed);
}

// A request that asks for no upgrade goes to the owner, who answers it; the
// connection reads nothing more, so one connection carries one request.
TEST(PageRequest, GoesToTheOwnerAndNothingAfterItIsRead)
{
    const std::string bytes = "GET /status?now HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" + join(kValidLines);
    Websocket_connection connection;
    Websocket_connection::Output out;
    connection.feed(bytes.data(), bytes.size(), out);
    EXPECT_TRUE(out.requested);
    EXPECT_EQ(out.request.method + " " + out.request.target, "GET /status?now");
    EXPECT_EQ(out.bytes, "");
    out.clear();
    connection.feed(bytes.data(), bytes.size(), out);
    EXPECT_FALSE(out.requested || out.upgraded || out.last || !out.bytes.empty());
    EXPECT_FALSE(connection.isUpgraded() || connection.isFinished());
    EXPECT_EQ(connection.goingAway(), "");
}

// After the upgrade: pings are answered, and faults close with the status
// code RFC 6455 section 7.4.1 names.
TEST(OpenConnection, AnswersPingsAndClosesWithTheCodeOfTheFault)
{
    const struct
    {
        const char *name;
        std::string frame;
        std::string answer;
        bool last;
    } rows[] = {
        {"ping", clientFrame(Websocket_frame::Ping, "p"), Websocket_frame::pong("p").encode(), false},
        {"close", clientFrame(Websocket_frame::Close, Websocket_frame::close(4001).payload),
         Websocket_frame::close(4001).encode(), true},
        {"invalid text", clientFrame(Websocket_frame::Text, "\xC0\xAF"), Websocket_frame::close(1007).encode(), true},
        {"unmasked frame", clientFrame(Websocket_frame::Text, "hi", false), Websocket_frame::close(1002).encode(),
         true},
    };
    const std::string request = join(kValidLines);
    for (const auto &row : rows) {
        Websocket_connection connection;
        Websocket_connection::Output out;
        connection.feed(request.data(), request.size(), out);
        out.clear();
        connection.feed(row.frame.data(), row.frame.size(), out);
        EXPECT_EQ(out.bytes, row.answer) << row.name;
        EXPECT_EQ(out.last, row.last) << row.name;
        EXPECT_EQ(connection.goingAway(), row.last ? "" : Websocket_frame::close(1001).encode()) << row.name;
    }
}

} // namespace
