#include "Websocket_decoder.h"
#include "Websocket_frame.h"

#include <gtest/gtest.h>

namespace {

using Type = Websocket_event::Type;

// What a client sends: masked (RFC 6455 section 5.3).
Websocket_frame clientFrame(std::uint8_t opcode, const std::string &payload, bool fin = true)
{
    Websocket_frame frame;
    frame.opcode = opcode;
    frame.fin = fin;
    frame.masked = true;
    frame.maskKey = {0x37, 0xfa, 0x21, 0x3d};
    frame.payload = payload;
    return frame;
}

std::string closeBody(std::uint16_t code)
{
    return Websocket_frame::close(code).payload;
}

std::string describe(const std::vector<Websocket_event> &events)
{
    std::string out;
    for (const Websocket_event &event : events)
        out += std::to_string(event.type) + ":" + std::to_string(event.payload.size()) + ":"
            + std::to_string(event.closeCode) + " ";
    return out;
}

TEST(WebsocketDecoder, MaskedAndUnmaskedTextFrames)
{
    for (bool masked : {true, false}) {
        Websocket_frame frame = clientFrame(Websocket_frame::Text, "Hello");
        frame.masked = masked;
        Websocket_decoder decoder;
        const auto events = decoder.decode(frame.encode());
        ASSERT_EQ(events.size(), 1u) << "masked " << masked;
        EXPECT_EQ(events[0].type, Type::TextMessage);
        EXPECT_EQ(events[0].payload, "Hello");
    }
    // RFC 6455 section 5.7: a single-frame masked text message.
    Websocket_decoder decoder;
    const auto events = decoder.decode(std::string("\x81\x85\x37\xfa\x21\x3d\x7f\x9f\x4d\x51\x58", 11));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].payload, "Hello");
}

TEST(WebsocketFrame, LengthFormsAtTheirLimits)
{
    const struct
    {
        std::size_t size;
        std::size_t headerSize;
        std::uint8_t secondByte;
    } rows[] = {{0, 2, 0}, {125, 2, 125}, {126, 4, 126}, {65535, 4, 126}, {65536, 10, 127}};
    for (const auto &row : rows) {
        const std::string payload(row.size, 'x');
        const std::string wire = Websocket_frame::encodeText(payload);
        EXPECT_EQ(static_cast<std::uint8_t>(wire[0]), 0x81) << row.size;
        EXPECT_EQ(static_cast<std::uint8_t>(wire[1]), row.secondByte) << row.size;
        EXPECT_EQ(wire.size(), row.headerSize + row.size) << row.size;
        for (bool masked : {false, true}) {
            Websocket_frame frame = clientFrame(Websocket_frame::Text, payload);
            frame.masked = masked;
            Websocket_decoder decoder;
            const auto events = decoder.decode(frame.encode());
            ASSERT_EQ(events.size(), 1u) << row.size;
            EXPECT_EQ(events[0].payload, payload) << row.size;
        }
    }
    EXPECT_EQ(Websocket_frame::encodeText("ab").substr(2), "ab");
}

TEST(WebsocketDecoder, EveryMessageInTheBufferIsItsOwnEvent)
{
    Websocket_decoder decoder;
    const auto events = decoder.decode(clientFrame(Websocket_frame::Text, "qt,keepalive").encode()
                                       + clientFrame(Websocket_frame::Text, "qt,focus").encode());
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].payload, "qt,keepalive");
    EXPECT_EQ(events[1].payload, "qt,focus");
}

TEST(WebsocketDecoder, FragmentsAreJoinedControlFramesMayInterleave)
{
    Websocket_decoder decoder;
    const auto events = decoder.decode(clientFrame(Websocket_frame::Text, "Hel", false).encode()
                                       + clientFrame(Websocket_frame::Ping, "p").encode()
                                       + clientFrame(Websocket_frame::Continuation, "lo").encode());
    ASSERT_EQ(events.size(), 2u) << describe(events);
    EXPECT_EQ(events[0].type, Type::Ping);
    EXPECT_EQ(events[0].payload, "p");
    EXPECT_EQ(events[1].type, Type::TextMessage);
    EXPECT_EQ(events[1].payload, "Hello");
}

struct ControlRow
{
    const char *name;
    std::string wire;
    Type type;
    std::string payload;
    std::uint16_t closeCode;
};

TEST(WebsocketDecoder, ControlAndMalformedFrames)
{
    const ControlRow rows[] = {
        {"ping with payload", clientFrame(Websocket_frame::Ping, "abc").encode(), Type::Ping, "abc", 0},
        {"pong", clientFrame(Websocket_frame::Pong, "x").encode(), Type::Pong, "x", 0},
        {"binary", clientFrame(Websocket_frame::Binary, "\x01\x02").encode(), Type::BinaryMessage, "\x01\x02", 0},
        {"close with code", clientFrame(Websocket_frame::Close, closeBody(1000)).encode(), Type::Close, "", 1000},
        {"close with reason", clientFrame(Websocket_frame::Close, closeBody(4001) + "bye").encode(), Type::Close, "",
         4001},
        {"close without code", clientFrame(Websocket_frame::Close, "").encode(), Type::Close, "", 0},
        {"close body of one byte", clientFrame(Websocket_frame::Close, "x").encode(), Type::ProtocolError, "", 0},
        {"close code 1005 may not be sent", clientFrame(Websocket_frame::Close, closeBody(1005)).encode(),
         Type::ProtocolError, "", 0},
        {"ping of 126 bytes", clientFrame(Websocket_frame::Ping, std::string(126, 'p')).encode(), Type::ProtocolError,
         "", 0},
        {"fragmented ping", clientFrame(Websocket_frame::Ping, "p", false).encode(), Type::ProtocolError, "", 0},
        {"continuation without message", clientFrame(Websocket_frame::Continuation, "x").encode(), Type::ProtocolError,
         "", 0},
        {"text inside a fragmented message",
         clientFrame(Websocket_frame::Text, "a", false).encode() + clientFrame(Websocket_frame::Text, "b").encode(),
         Type::ProtocolError, "", 0},
        {"reserved opcode", std::string("\x83\x00", 2), Type::ProtocolError, "", 0},
        {"reserved bit", std::string("\xc1\x00", 2), Type::ProtocolError, "", 0},
        {"64-bit length with top bit", std::string("\x81\x7f\x80\0\0\0\0\0\0\x01", 10), Type::ProtocolError, "", 0},
    };
    for (const ControlRow &row : rows) {
        Websocket_decoder decoder;
        const auto events = decoder.decode(row.wire);
        ASSERT_EQ(events.size(), 1u) << row.name << " " << describe(events);
        EXPECT_EQ(events[0].type, row.type) << row.name;
        EXPECT_EQ(events[0].payload, row.payload) << row.name;
        EXPECT_EQ(events[0].closeCode, row.closeCode) << row.name;
    }
}

TEST(WebsocketDecoder, FinishedDecoderIgnoresWhatFollows)
{
    Websocket_decoder decoder;
    const auto events = decoder.decode(clientFrame(Websocket_frame::Close, closeBody(1000)).encode()
                                       + clientFrame(Websocket_frame::Text, "late").encode());
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(decoder.isFinished());
    EXPECT_TRUE(decoder.decode(clientFrame(Websocket_frame::Text, "later").encode()).empty());
}

TEST(WebsocketDecoder, MessageAtTheBoundPassesOneByteMoreIsTooBig)
{
    const std::size_t limit = Websocket_decoder::kMaxMessageBytes;
    const struct
    {
        const char *name;
        std::vector<std::size_t> fragments;
        Type type;
    } rows[] = {
        {"one frame at the bound", {limit}, Type::TextMessage},
        {"one frame past the bound", {limit + 1}, Type::TooBig},
        {"fragments at the bound", {limit / 2, limit / 2}, Type::TextMessage},
        {"fragments past the bound", {limit / 2, limit / 2 + 1}, Type::TooBig},
    };
    for (const auto &row : rows) {
        std::string wire;
        for (std::size_t i = 0; i < row.fragments.size(); ++i) {
            wire += clientFrame(i == 0 ? Websocket_frame::Text : Websocket_frame::Continuation,
                                std::string(row.fragments[i], 'm'), i + 1 == row.fragments.size())
                        .encode();
        }
        Websocket_decoder decoder;
        const auto events = decoder.decode(wire);
        ASSERT_EQ(events.size(), 1u) << row.name;
        EXPECT_EQ(events[0].type, row.type) << row.name;
    }
    // The bound is applied to the announced length, before any payload arrives.
    Websocket_decoder decoder;
    const auto events = decoder.decode(std::string("\x81\xff\0\0\0\x01\0\0\0\0", 10));
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, Type::TooBig);
}

TEST(WebsocketDecoder, SplitAtEveryBytePositionGivesTheSameEvents)
{
    const std::string wire = clientFrame(Websocket_frame::Text, "one").encode()
        + clientFrame(Websocket_frame::Text, std::string(300, 'b'), false).encode()
        + clientFrame(Websocket_frame::Ping, "p").encode() + clientFrame(Websocket_frame::Continuation, "c").encode()
        + clientFrame(Websocket_frame::Close, closeBody(1001)).encode();
    Websocket_decoder whole;
    const std::string expected = describe(whole.decode(wire));
    ASSERT_EQ(expected, "0:3:0 2:1:0 0:301:0 4:0:1001 ");
    for (std::size_t cut = 0; cut <= wire.size(); ++cut) {
        Websocket_decoder decoder;
        auto events = decoder.decode(wire.data(), cut);
        const auto rest = decoder.decode(wire.data() + cut, wire.size() - cut);
        events.insert(events.end(), rest.begin(), rest.end());
        ASSERT_EQ(describe(events), expected) << "cut at " << cut;
    }
}

TEST(WebsocketFrame, ControlFramesOnTheWire)
{
    EXPECT_EQ(Websocket_frame::pong("abc").encode(),
              std::string("\x8a\x03"
                          "abc",
                          5));
    EXPECT_EQ(Websocket_frame::close(1009).encode(), std::string("\x88\x02\x03\xf1", 4));
    EXPECT_EQ(Websocket_frame::close(0).encode(), std::string("\x88\x00", 2));
}

} // namespace
