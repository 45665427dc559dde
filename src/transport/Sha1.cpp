#include "Sha1.h"

namespace {

std::uint32_t rotateLeft(std::uint32_t value, int bits)
{
    return (value << bits) | (value >> (32 - bits));
}

} // namespace

void Sha1::update(const char *data, std::size_t size)
{
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(data);
    m_totalBytes += size;
    for (std::size_t i = 0; i < size; ++i) {
        m_block[m_blockUsed++] = bytes[i];
        if (m_blockUsed == m_block.size()) {
            processBlock(m_block.data());
            m_blockUsed = 0;
        }
    }
}

Sha1::Digest Sha1::finish()
{
    // FIPS 180-4 section 5.1.1: a one bit, zeros up to 56 bytes mod 64, then
    // the message length in bits as a 64-bit big-endian number.
    const std::uint64_t bitLength = m_totalBytes * 8;
    const char one = static_cast<char>(0x80);
    update(&one, 1);
    const char zero = 0;
    while (m_blockUsed != 56)
        update(&zero, 1);
    for (int shift = 56; shift >= 0; shift -= 8) {
        const char byte = static_cast<char>((bitLength >> shift) & 0xFF);
        update(&byte, 1);
    }
    Digest digest{};
    for (std::size_t i = 0; i < m_state.size(); ++i) {
        for (std::size_t j = 0; j < 4; ++j)
            digest[i * 4 + j] = static_cast<std::uint8_t>(m_state[i] >> (24 - 8 * j));
    }
    return digest;
}

Sha1::Digest Sha1::digest(const std::string &bytes)
{
    Sha1 sha;
    sha.update(bytes.data(), bytes.size());
    return sha.finish();
}

void Sha1::processBlock(const std::uint8_t *block)
{
    std::array<std::uint32_t, 80> w{};
    for (std::size_t t = 0; t < 16; ++t) {
        w[t] = static_cast<std::uint32_t>(block[t * 4]) << 24 | static_cast<std::uint32_t>(block[t * 4 + 1]) << 16
            | static_cast<std::uint32_t>(block[t * 4 + 2]) << 8 | static_cast<std::uint32_t>(block[t * 4 + 3]);
    }
    for (std::size_t t = 16; t < 80; ++t)
        w[t] = rotateLeft(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);

    std::uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3], e = m_state[4];
    for (std::size_t t = 0; t < 80; ++t) {
        std::uint32_t f;
        std::uint32_t k;
        if (t < 20) {
            f = (b & c) | (~b & d);
            k = 0x5A827999u;
        } else if (t < 40) {
            f = b ^ c ^ d;
            k = 0x6ED9EBA1u;
        } else if (t < 60) {
            f = (b & c) | (b & d) | (c & d);
            k = 0x8F1BBCDCu;
        } else {
            f = b ^ c ^ d;
            k = 0xCA62C1D6u;
        }
        const std::uint32_t temp = rotateLeft(a, 5) + f + e + k + w[t];
        e = d;
        d = c;
        c = rotateLeft(b, 30);
        b = a;
        a = temp;
    }
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
    m_state[4] += e;
}
