#include "Base64.h"
#include "Sha1.h"
#include "Websocket_handshake.h"

#include <gtest/gtest.h>

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

// RFC 4648 section 10.
TEST(Base64, RfcVectors)
{
    const VectorRow rows[] = {
        {"empty", "", ""},           {"1", "f", "Zg=="},
        {"2", "fo", "Zm8="},         {"3", "foo", "Zm9v"},
        {"4", "foob", "Zm9vYg=="},   {"5", "fooba", "Zm9vYmE="},
        {"6", "foobar", "Zm9vYmFy"}, {"high bytes", "\xff\xfe\xfd", "//79"},
    };
    for (const VectorRow &row : rows)
        EXPECT_EQ(Base64::encode(row.input), row.expected) << row.name;
}

TEST(WebsocketHandshake, RfcExampleKeyGivesItsAcceptValue)
{
    EXPECT_EQ(Websocket_handshake::acceptKey("dGhlIHNhbXBsZSBub25jZQ=="), "s3pPLMBiTxaQ9kYGzzhZRbK+xOo=");
    const std::string response = Websocket_handshake::handshakeResponse("dGhlIHNhbXBsZSBub25jZQ==");
    EXPECT_EQ(response,
              "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
              "Sec-WebSocket-Protocol: relay-protocol\r\n"
              "Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n\r\n");
}

struct UpgradeRow
{
    const char *name;
    Http_headers headers;
    bool upgrades;
};

Http_headers validHeaders()
{
    return {{"Upgrade", "websocket"},
            {"Connection", "Upgrade"},
            {"Sec-WebSocket-Protocol", "relay-protocol"},
            {"Sec-WebSocket-Key", "dGhlIHNhbXBsZSBub25jZQ=="}};
}

Http_headers with(const std::string &name, const std::string &value)
{
    Http_headers headers = validHeaders();
    headers[name] = value;
    return headers;
}

Http_headers without(const std::string &name)
{
    Http_headers headers = validHeaders();
    headers.erase(name);
    return headers;
}

TEST(WebsocketHandshake, UpgradeRules)
{
    const Http_headers lowerCaseNames = {{"upgrade", "websocket"},
                                         {"connection", "Upgrade"},
                                         {"sec-websocket-protocol", "relay-protocol"},
                                         {"sec-websocket-key", "dGhlIHNhbXBsZSBub25jZQ=="}};
    const UpgradeRow rows[] = {
        {"valid", validHeaders(), true},
        {"keep-alive listed before Upgrade", with("Connection", "keep-alive, Upgrade"), true},
        {"another subprotocol listed first", with("Sec-WebSocket-Protocol", "chat, relay-protocol"), true},
        {"lower-case header names (RFC 7230 3.2)", lowerCaseNames, true},
        {"values in other case (RFC 6455 4.2.1)", with("Upgrade", "WebSocket"), true},
        {"only another subprotocol", with("Sec-WebSocket-Protocol", "chat"), false},
        {"subprotocol only as a prefix", with("Sec-WebSocket-Protocol", "relay-protocol-2"), false},
        {"Upgrade names another protocol", with("Upgrade", "h2c"), false},
        {"Connection without Upgrade", with("Connection", "keep-alive"), false},
        {"no key", without("Sec-WebSocket-Key"), false},
        {"no subprotocol", without("Sec-WebSocket-Protocol"), false},
        {"empty", Http_headers(), false},
    };
    for (const UpgradeRow &row : rows)
        EXPECT_EQ(Websocket_handshake::isWebsocketUpgrade(row.headers), row.upgrades) << row.name;
}

const std::string kRequest = "GET /relay HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
                             "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                             "Sec-WebSocket-Protocol: relay-protocol\r\nSec-WebSocket-Version: 13\r\n\r\n";

TEST(WebsocketHandshake, RequestInPiecesUpgradesOnceCompleteAndKeepsWhatFollows)
{
    const std::string frame = "\x81\x02hi";
    for (std::size_t cut = 0; cut < kRequest.size(); ++cut) {
        Websocket_handshake handshake;
        EXPECT_EQ(handshake.feed(kRequest.data(), cut), Websocket_handshake::Result::Incomplete) << "cut at " << cut;
        const std::string rest = kRequest.substr(cut) + frame;
        ASSERT_EQ(handshake.feed(rest.data(), rest.size()), Websocket_handshake::Result::Upgraded) << "cut at " << cut;
        EXPECT_EQ(handshake.response(), Websocket_handshake::handshakeResponse("dGhlIHNhbXBsZSBub25jZQ=="));
        EXPECT_EQ(handshake.takeRemainder(), frame) << "cut at " << cut;
    }
}

TEST(WebsocketHandshake, RefusalsAnswer400)
{
    const std::string rows[] = {
        "POST /relay HTTP/1.1\r\nUpgrade: websocket\r\n\r\n",
        "GET / HTTP/1.1\r\nHost: x\r\n\r\n",
        "SSH-2.0-client\r\n",
        "GET / HTTP/1.1\r\nX: " + std::string(Http_parser::kMaxMessageBytes, 'a'),
    };
    for (const std::string &request : rows) {
        Websocket_handshake handshake;
        EXPECT_EQ(handshake.feed(request.data(), request.size()), Websocket_handshake::Result::Refused)
            << request.substr(0, 20);
        EXPECT_EQ(handshake.response().rfind("HTTP/1.1 400 Bad Request\r\n", 0), 0u);
    }
}

} // namespace
