#include <velasystem/VelaSystem.h>

#include <cstdint>
#include <cstdlib>

// Question and message texts reach the hub library's MathML translator
// unchecked. When nothing was translated, the text comes back as it went in.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const bool latex = (data[0] & 1) != 0;
    const bool delimit = (data[0] & 2) != 0;
    const QString input = QString::fromUtf8(reinterpret_cast<const char *>(data + 1), static_cast<int>(size - 1));
    QString output;
    const bool translated = Velasystem::VelaSystem::translateTextMathmlToLatex(input, output, "[", "]", latex, delimit);
    if (!translated && output != input)
        std::abort();
    return 0;
}
