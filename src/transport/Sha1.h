#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

// SHA-1 as FIPS 180-4 defines it. Used only for the WebSocket accept key
// (RFC 6455 section 4.2.2), where its weakness as a signature hash does not matter.
class Sha1
{
public:
    using Digest = std::array<std::uint8_t, 20>;

    void update(const char *data, std::size_t size);
    Digest finish();

    static Digest digest(const std::string &bytes);

private:
    void processBlock(const std::uint8_t *block);

    std::array<std::uint32_t, 5> m_state{{0x67452301u, 0xEFCDAB89u, 0x98BADCFEu, 0x10325476u, 0xC3D2E1F0u}};
    std::array<std::uint8_t, 64> m_block{};
    std::size_t m_blockUsed = 0;
    std::uint64_t m_totalBytes = 0;
};
