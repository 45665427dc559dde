#include <velasystem/EnhancedQuestion.h>

namespace Velasystem {

// The destructor is the key function: the vtables live in the library.
EnhancedQuestion::~EnhancedQuestion() = default;

int MultichoiceQuestion::typeCode() const
{
    return TypeCode;
}
int YesNoQuestion::typeCode() const
{
    return TypeCode;
}
int TrueFalseQuestion::typeCode() const
{
    return TypeCode;
}
int LikertQuestion::typeCode() const
{
    return TypeCode;
}
int NumericQuestion::typeCode() const
{
    return TypeCode;
}
int TextQuestion::typeCode() const
{
    return TypeCode;
}
int SortInOrderQuestion::typeCode() const
{
    return TypeCode;
}

} // namespace Velasystem
