#include "Tls_test_client.h"
#include "Websocket_connection.h"
#include "Websocket_frame.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

// RFC 6455 section 1.3: the example key and its accept value. The relay hashes
// and encodes nothing but a key and the GUID, so this row and every real
// client, which checks the accept value, pin its SHA-1 and base64.
const std::string kUpgraded = "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                              "Sec-WebSocket-Protocol: relay-protocol\r\n"
                              "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n";
const std::string kBadRequest = "HTTP/1.1 400 Bad Request\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
const std::string kForbidden = "HTTP/1.1 403 Forbidden\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
const std::string kUpgradeRequired = "HTTP/1.1 426 Upgrade Required\r\nUpgrade: websocket\r\n"
                                     "Connection: Upgrade, close\r\nSec-WebSocket-Version: 13\r\n"
                                     "Content-Length: 0\r\n\r\n";

const std::string kValid =
    "GET /relay HTTP/1.1\r\nHost: 127.0.0.1:9082\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
    "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Protocol: relay-protocol\r\n"
    "Sec-WebSocket-Version: 13\r\n\r\n";

// The valid request with every `from` replaced by `to`.
std::string edited(const std::string &from, const std::string &to)
{
    std::string request = kValid;
    for (std::size_t at = request.find(from); at != std::string::npos; at = request.find(from, at + to.size()))
        request.replace(at, from.size(), to);
    return request;
}

// The valid request with a line more after the request line.
std::string plus(const std::string &line)
{
    return edited("HTTP/1.1\r\n", "HTTP/1.1\r\n" + line + "\r\n");
}

struct UpgradeRow
{
    const char *name;
    std::string request;
    const std::string &response;
    // relay_allowed_origins; none set: the default policy.
    const char *allowed = nullptr;

    friend void PrintTo(const UpgradeRow &row, std::ostream *out) { *out << row.name; }
};

using Upgrade = ::testing::TestWithParam<UpgradeRow>;

// A frame follows every request in the same bytes: it is a message only
// behind a request that was upgraded.
TEST_P(Upgrade, AnswersAndTakesWhatFollowsForFramesOnlyWhenUpgraded)
{
    const UpgradeRow &row = GetParam();
    const std::string bytes = row.request + clientFrame(Websocket_frame::Text, "hi");
    Websocket_connection connection;
    if (row.allowed)
        connection.setOriginPolicy(std::make_shared<const Origin_policy>(Origin_policy::fromSetting(row.allowed)));
    Websocket_connection::Output out;
    connection.feed(bytes.data(), bytes.size(), out);
    EXPECT_EQ(out.bytes, row.response);
    // Upgraded, last, without a refusal to log, and the frame's messages.
    const bool upgraded = &row.response == &kUpgraded;
    EXPECT_EQ(std::make_tuple(out.upgraded, out.last, out.refusal.empty(), out.messages),
              std::make_tuple(upgraded, !upgraded, upgraded, std::vector<std::string>(upgraded, "hi")));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Upgrade,
    ::testing::Values(
        UpgradeRow{"valid", kValid, kUpgraded},
        UpgradeRow{"keep_alive_listed_before_Upgrade", edited("n: Upgrade", "n: keep-alive, Upgrade"), kUpgraded},
        UpgradeRow{"another_subprotocol_listed_first", edited("l: relay", "l: chat, relay"), kUpgraded},
        UpgradeRow{"lower_case_header_names",
                   "GET /relay HTTP/1.1\r\nhost: 127.0.0.1\r\nupgrade: websocket\r\nconnection: Upgrade\r\n"
                   "sec-websocket-key: dGhlIHNhbXBsZSBub25jZQ==\r\nsec-websocket-protocol: relay-protocol\r\n"
                   "sec-websocket-version: 13\r\n\r\n",
                   kUpgraded},
        UpgradeRow{"values_in_other_case", edited("websocket", "WebSocket"), kUpgraded},
        UpgradeRow{"empty_body_announced", plus("Content-Length: 0"), kUpgraded},
        UpgradeRow{"POST", edited("GET ", "POST "), kBadRequest},
        UpgradeRow{"HTTP_1_0", edited("HTTP/1.1", "HTTP/1.0"), kBadRequest},
        UpgradeRow{"HTTP_9_9", edited("HTTP/1.1", "HTTP/9.9"), kBadRequest},
        UpgradeRow{"request_line_of_five_words", edited("HTTP/1.1", "HTTP/1.1 and more"), kBadRequest},
        UpgradeRow{"request_line_with_two_spaces", edited("GET ", "GET  "), kBadRequest},
        UpgradeRow{"not_HTTP", "SSH-2.0-client\r\n", kBadRequest},
        UpgradeRow{"no_Host", edited("Host: 127.0.0.1:9082\r\n", ""), kBadRequest},
        UpgradeRow{"two_Hosts", plus("Host: 127.0.0.2"), kBadRequest},
        UpgradeRow{"header_line_without_a_colon", plus("Sec-WebSocket-Extensions"), kBadRequest},
        UpgradeRow{"space_before_the_colon", plus("X-Note : a"), kBadRequest},
        UpgradeRow{"folded_header_line", plus("X-Note: one\r\n two"), kBadRequest},
        UpgradeRow{"control_character_in_a_value", plus(std::string("X-Note: a\0b", 11)), kBadRequest},
        UpgradeRow{"chunked_body", plus("Transfer-Encoding: chunked") + "5\r\nhello\r\n0\r\n\r\n", kBadRequest},
        UpgradeRow{"negative_Content_Length", plus("Content-Length: -1"), kBadRequest},
        UpgradeRow{"body_announced", plus("Content-Length: 5") + "hello", kBadRequest},
        UpgradeRow{"bare_line_feeds", edited("\r\n", "\n"), kBadRequest},
        UpgradeRow{"Upgrade_names_another_protocol", edited("websocket", "h2c"), kBadRequest},
        UpgradeRow{"Connection_without_Upgrade", edited("n: Upgrade", "n: keep-alive"), kBadRequest},
        UpgradeRow{"no_key", edited("Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n", ""), kBadRequest},
        UpgradeRow{"two_keys", plus("Sec-WebSocket-Key: AAAAAAAAAAAAAAAAAAAAAA=="), kBadRequest},
        UpgradeRow{"key_not_base64", edited("dGhlIHNhbXBsZSBub25jZQ==", "not a key at all!!!!!!!"), kBadRequest},
        UpgradeRow{"key_of_15_bytes", edited("dGhlIHNhbXBsZSBub25jZQ==", "AAAAAAAAAAAAAAAAAAAA"), kBadRequest},
        UpgradeRow{"key_with_unused_bits_set", edited("ZQ==", "ZR=="), kBadRequest},
        UpgradeRow{"only_another_subprotocol", edited("l: relay-protocol", "l: chat"), kBadRequest},
        UpgradeRow{"subprotocol_only_as_a_prefix", edited("relay-protocol", "relay-protocol-2"), kBadRequest},
        UpgradeRow{"no_subprotocol", edited("Sec-WebSocket-Protocol: relay-protocol\r\n", ""), kBadRequest},
        UpgradeRow{"version_8", edited("Version: 13", "Version: 8"), kUpgradeRequired},
        UpgradeRow{"no_version", edited("Sec-WebSocket-Version: 13\r\n", ""), kUpgradeRequired},
        // Pages of the loopback hosts, on any port, may connect; every other
        // page is refused unless its origin is listed.
        UpgradeRow{"origin_127_0_0_1", plus("Origin: http://127.0.0.1:8000"), kUpgraded},
        UpgradeRow{"origin_localhost_over_https", plus("Origin: https://localhost"), kUpgraded},
        UpgradeRow{"origin_IPv6_loopback", plus("Origin: http://[::1]:3000"), kUpgraded},
        UpgradeRow{"loopback_origin_in_upper_case", plus("Origin: HTTP://LocalHost:80"), kUpgraded},
        UpgradeRow{"foreign_origin", plus("Origin: https://evil.example"), kForbidden},
        UpgradeRow{"null_origin", plus("Origin: null"), kForbidden},
        UpgradeRow{"empty_origin", plus("Origin: "), kForbidden},
        UpgradeRow{"loopback_scheme_not_http", plus("Origin: ftp://localhost"), kForbidden},
        UpgradeRow{"look_alike_name", plus("Origin: http://localhost.evil.example"), kForbidden},
        UpgradeRow{"look_alike_address", plus("Origin: http://127.0.0.1.evil.example"), kForbidden},
        UpgradeRow{"user_information", plus("Origin: http://evil.example@localhost"), kForbidden},
        UpgradeRow{"path", plus("Origin: http://localhost/"), kForbidden},
        UpgradeRow{"port_out_of_range", plus("Origin: http://localhost:65536"), kForbidden},
        UpgradeRow{"two_origins", plus("Origin: http://localhost\r\nOrigin: http://localhost"), kForbidden},
        UpgradeRow{"listed_origin", plus("Origin: HTTPS://Classroom.Example:443"), kUpgraded,
                   "http://quiz.test:8080,https://classroom.example"},
        UpgradeRow{"listed_with_its_default_port", plus("Origin: http://quiz.test"), kUpgraded, "http://quiz.test:80"},
        UpgradeRow{"listed_origin_on_another_port", plus("Origin: https://classroom.example:8443"), kForbidden,
                   "https://classroom.example"},
        UpgradeRow{"not_an_origin_in_the_list", plus("Origin: null"), kForbidden, "null https://classroom.example/"},
        UpgradeRow{"star_allows_a_foreign_origin", plus("Origin: https://evil.example"), kUpgraded, "*"},
        UpgradeRow{"star_allows_null", plus("Origin: null"), kUpgraded, "*"}),
    [](const ::testing::TestParamInfo<UpgradeRow> &row) { return std::string(row.param.name); });

TEST(OriginSetting, EntriesThatAreNotOriginsAreLeftOutAndNamed)
{
    std::vector<std::string> rejected;
    const Origin_policy policy =
        Origin_policy::fromSetting(" null,https://a.example/ http://b.example:99999,,\thttps://c.example ", &rejected);
    EXPECT_EQ(rejected, (std::vector<std::string>{"null", "https://a.example/", "http://b.example:99999"}));
    EXPECT_TRUE(policy.allows("https://c.example"));
    EXPECT_FALSE(policy.allowsAll());
}

TEST(UpgradeInPieces, CompletesWhereverTheRequestIsCutAndKeepsWhatFollows)
{
    const std::string bytes = kValid + clientFrame(Websocket_frame::Text, "hi");
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
    const std::string bytes = "GET /status?now HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n" + kValid;
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

// After the upgrade, a fault ends the connection with the status code RFC
// 6455 section 7.4.1 names. (A real client's ping and its pong, and the
// going-away close of a connection still open, are checked against the relay.)
TEST(OpenConnection, ClosesWithTheCodeOfTheFault)
{
    const struct
    {
        const char *name;
        std::string frame;
        std::uint16_t code;
    } rows[] = {
        {"invalid text", clientFrame(Websocket_frame::Text, "\xC0\xAF"), 1007},
        {"unmasked frame", clientFrame(Websocket_frame::Text, "hi", true, false), 1002},
    };
    for (const auto &row : rows) {
        Websocket_connection connection;
        Websocket_connection::Output out;
        connection.feed(kValid.data(), kValid.size(), out);
        out.clear();
        connection.feed(row.frame.data(), row.frame.size(), out);
        EXPECT_EQ(out.bytes, Websocket_frame::close(row.code).encode()) << row.name;
        EXPECT_TRUE(out.last) << row.name;
        EXPECT_EQ(connection.goingAway(), "") << row.name;
    }
}

} // namespace
