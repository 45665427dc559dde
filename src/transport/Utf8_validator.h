#pragma once

#include <cstddef>
#include <cstdint>

// Checks that bytes arriving in pieces of any size are UTF-8 as RFC 3629
// defines it: overlong forms, surrogates (U+D800 to U+DFFF) and code points
// above U+10FFFF are refused. A sequence may be cut between two pieces.
class Utf8_validator
{
public:
    // False once the bytes so far cannot be UTF-8; it stays false.
    bool feed(const char *data, std::size_t size);
    // The bytes so far are UTF-8 and end on a whole character.
    bool isComplete() const { return m_valid && m_needed == 0; }
    void reset() { *this = Utf8_validator(); }

    static bool isValid(const char *data, std::size_t size)
    {
        Utf8_validator validator;
        return validator.feed(data, size) && validator.isComplete();
    }

private:
    bool m_valid = true;
    // Continuation bytes still wanted, and the range the next one must be in.
    std::uint8_t m_needed = 0;
    std::uint8_t m_lower = 0x80;
    std::uint8_t m_upper = 0xBF;
};
