#include "StrToInt.h"

#include <charconv>

int32_t StrToInt(const std::string& text)
{
    const char* first = text.data();
    const char* last = text.data() + text.size();
    // from_chars takes a minus sign but not a plus sign, so a plus is stepped over
    // here; what follows it must then be a digit.
    const bool plus = first != last && *first == '+';
    if (plus)
        ++first;
    int32_t value = 0;
    const auto [end, error] = std::from_chars(first, last, value);
    if (error != std::errc() || end != last || (plus && *first == '-'))
        throw EConvertError("'" + text + "' is not a valid integer value");
    return value;
}
