#include "Tls_test_client.h"
#include "Websocket_decoder.h"
#include "Websocket_frame.h"

#include <gtest/gtest.h>

#include <cctype>

namespace {

std::string text(const std::string &payload, bool fin = true)
{
    return clientFrame(Websocket_frame::Text, payload, fin);
}

std::string more(const std::string &payload, bool fin = true)
{
    return clientFrame(Websocket_frame::Continuation, payload, fin);
}

std::string close(std::uint16_t code, const std::string &reason = "")
{
    return clientFrame(Websocket_frame::Close, Websocket_frame::close(code).payload + reason);
}

// One word per event; long or binary payloads by their size.
std::string summary(const std::vector<Websocket_event> &events)
{
    static const char *const names[] = {"text",  "binary",          "ping",           "pong",
                                        "close", "message-too-big", "protocol-error", "invalid-text"};
    std::string out;
    for (const Websocket_event &event : events) {
        out += out.empty() ? "" : " ";
        out += names[event.type];
        const bool printable = event.payload.size() <= 16
            && std::all_of(event.payload.begin(), event.payload.end(),
                           [](char c) { return std::isprint(static_cast<unsigned char>(c)) != 0; });
        if (!event.payload.empty())
            out += printable ? ":" + event.payload : ":#" + std::to_string(event.payload.size());
        if (event.closeCode != 0)
            out += ":" + std::to_string(event.closeCode);
    }
    return out;
}

struct DecoderRow
{
    const char *name;
    std::string wire;
    std::string events;

    friend void PrintTo(const DecoderRow &row, std::ostream *out) { *out << row.name; }
};

using Decoder = ::testing::TestWithParam<DecoderRow>;

// Whole (cut at the end) or cut anywhere in two, the bytes give the same events.
TEST_P(Decoder, GivesTheEventsOfTheFramesWhereverTheBytesAreCut)
{
    const std::string &wire = GetParam().wire;
    for (std::size_t cut = 0; cut <= wire.size(); ++cut) {
        Websocket_decoder decoder;
        auto events = decoder.decode(wire.data(), cut);
        const auto rest = decoder.decode(wire.data() + cut, wire.size() - cut);
        events.insert(events.end(), rest.begin(), rest.end());
        ASSERT_EQ(summary(events), GetParam().events) << "cut at " << cut;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Decoder,
    ::testing::Values(
        // RFC 6455 section 5.7: a single-frame masked text message.
        DecoderRow{"rfc_example", std::string("\x81\x85\x37\xfa\x21\x3d\x7f\x9f\x4d\x51\x58", 11), "text:Hello"},
        DecoderRow{"each_message_its_own_event", text("one") + text("two"), "text:one text:two"},
        DecoderRow{"fragments_joined_around_a_ping",
                   text("Hel", false) + clientFrame(Websocket_frame::Ping, "p") + more("lo"), "ping:p text:Hello"},
        DecoderRow{"pong", clientFrame(Websocket_frame::Pong, "x"), "pong:x"},
        DecoderRow{"close_with_reason", close(4001, "bye"), "close:4001"},
        DecoderRow{"close_without_code", clientFrame(Websocket_frame::Close, ""), "close"},
        DecoderRow{"nothing_after_a_close", close(1000) + text("late"), "close:1000"},
        DecoderRow{"close_body_of_one_byte", clientFrame(Websocket_frame::Close, "x"), "protocol-error"},
        DecoderRow{"close_code_1005_may_not_be_sent", close(1005), "protocol-error"},
        DecoderRow{"ping_of_126_bytes", clientFrame(Websocket_frame::Ping, std::string(126, 'p')), "protocol-error"},
        DecoderRow{"fragmented_ping", clientFrame(Websocket_frame::Ping, "p", false), "protocol-error"},
        DecoderRow{"continuation_without_message", more("x"), "protocol-error"},
        DecoderRow{"text_inside_a_fragmented_message", text("a", false) + text("b"), "protocol-error"},
        DecoderRow{"reserved_opcode", std::string("\x83\x80\0\0\0\0", 6), "protocol-error"},
        DecoderRow{"reserved_bit", std::string("\xc1\x80\0\0\0\0", 6), "protocol-error"},
        DecoderRow{"64_bit_length_with_top_bit", std::string("\x81\xff\x80\0\0\0\0\0\0\x01", 10), "protocol-error"},
        // Section 5.1: the server closes on an unmasked client frame.
        DecoderRow{"unmasked_client_frame", clientFrame(Websocket_frame::Text, "hi", true, false), "protocol-error"},
        DecoderRow{"unmasked_after_a_valid_one", text("ok") + clientFrame(Websocket_frame::Ping, "", true, false),
                   "text:ok protocol-error"},
        // Section 8.1: text is UTF-8, checked across fragments.
        DecoderRow{"utf8_of_every_length", text("\x41\xC3\xA9\xE2\x82\xAC\xF0\x9D\x84\x9E"), "text:#10"},
        DecoderRow{"utf8_character_cut_between_fragments", text("\xE2\x82", false) + more("\xAC"), "text:#3"},
        DecoderRow{"overlong_two_bytes", text("\xC0\xAF"), "invalid-text"},
        DecoderRow{"overlong_three_bytes", text("\xE0\x80\xAF"), "invalid-text"},
        DecoderRow{"overlong_four_bytes", text("\xF0\x80\x80\xAF"), "invalid-text"},
        DecoderRow{"surrogate", text("\xED\xA0\x80"), "invalid-text"},
        DecoderRow{"above_U_10FFFF", text("\xF4\x90\x80\x80"), "invalid-text"},
        DecoderRow{"byte_never_in_utf8", text("a\xFF"), "invalid-text"},
        DecoderRow{"message_ends_inside_a_character", text("\xE2\x82", false) + more("a"), "invalid-text"},
        DecoderRow{"last_fragment_ends_inside_a_character", text("a", false) + more("\xE2\x82"), "invalid-text"},
        DecoderRow{"invalid_first_fragment_fails_at_once", text("\xC0", false), "invalid-text"},
        DecoderRow{"binary_is_not_checked", clientFrame(Websocket_frame::Binary, "\xC0\xAF"), "binary:#2"},
        DecoderRow{"close_reason_not_utf8", close(1000, "\xED\xA0\x80"), "invalid-text"}),
    [](const ::testing::TestParamInfo<DecoderRow> &row) { return std::string(row.param.name); });

// The bound, at the limit and one past it. Not in the table: its rows are
// built when the tests are listed, and these take a while to build.
TEST(DecoderBound, MessageAtTheBoundPassesOneByteMoreIsTooBig)
{
    const std::size_t limit = Websocket_decoder::kMaxMessageBytes;
    for (const std::size_t extra : {0, 1}) {
        const std::string expected = extra == 0 ? "text:#1048576" : "message-too-big";
        Websocket_decoder whole, fragmented;
        EXPECT_EQ(summary(whole.decode(text(std::string(limit + extra, 'm')))), expected);
        const std::string half(limit / 2, 'm');
        EXPECT_EQ(summary(fragmented.decode(text(half, false) + more(half + std::string(extra, 'm')))), expected);
    }
    // Applied to the announced length, before any payload arrives.
    Websocket_decoder announced;
    EXPECT_EQ(summary(announced.decode(std::string("\x81\xff\0\0\0\x01\0\0\0\0", 10))), "message-too-big");
}

// A client decodes the server's unmasked frames (the tests' clients do). The
// relay's pongs and close frames a real client reads end to end.
TEST(ServerFrames, UnmaskedFramesInEveryLengthForm)
{
    for (const std::size_t size :
         {std::size_t{0}, std::size_t{125}, std::size_t{126}, std::size_t{65535}, std::size_t{65536}}) {
        const std::string payload(size, 'x');
        std::string wire;
        Websocket_frame::appendText(wire, payload.substr(0, 1), payload.substr(std::min<std::size_t>(1, size)));
        // RFC 6455 section 5.2: the shortest of the three length forms.
        const std::size_t header = size <= 125 ? 2 : size <= 65535 ? 4 : 10;
        EXPECT_EQ(wire.size(), header + size);
        EXPECT_EQ(static_cast<std::uint8_t>(wire[1]), size <= 125 ? size : size <= 65535 ? 126 : 127);
        Websocket_decoder decoder(Websocket_decoder::Sender::Server);
        const auto events = decoder.decode(wire);
        ASSERT_EQ(events.size(), 1u) << size;
        EXPECT_EQ(events[0].payload, payload) << size;
    }
}

} // namespace
