#include "Utf8_validator.h"

bool Utf8_validator::feed(const char *data, std::size_t size)
{
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(data);
    for (std::size_t i = 0; i < size && m_valid; ++i) {
        const std::uint8_t byte = bytes[i];
        if (m_needed > 0) {
            if (byte < m_lower || byte > m_upper)
                m_valid = false;
            m_lower = 0x80;
            m_upper = 0xBF;
            --m_needed;
            continue;
        }
        if (byte < 0x80)
            continue;
        // RFC 3629 section 4: the first continuation byte's range after each
        // lead byte is what excludes overlong forms, surrogates and values
        // past U+10FFFF.
        if (byte >= 0xC2 && byte <= 0xDF) {
            m_needed = 1;
        } else if (byte == 0xE0) {
            m_needed = 2;
            m_lower = 0xA0;
        } else if (byte == 0xED) {
            m_needed = 2;
            m_upper = 0x9F;
        } else if (byte >= 0xE1 && byte <= 0xEF) {
            m_needed = 2;
        } else if (byte == 0xF0) {
            m_needed = 3;
            m_lower = 0x90;
        } else if (byte >= 0xF1 && byte <= 0xF3) {
            m_needed = 3;
        } else if (byte == 0xF4) {
            m_needed = 3;
            m_upper = 0x8F;
        } else {
            m_valid = false;
        }
    }
    return m_valid;
}
