#include "support/ParamNames.h"

#include <cctype>

namespace pivra::test {

std::string testName(std::string_view words)
{
    std::string name;
    bool wordStart = true;
    for (const char c : words) {
        const auto byte = static_cast<unsigned char>(c);
        if (std::isalnum(byte) == 0) {
            wordStart = true;
            continue;
        }
        name += wordStart ? static_cast<char>(std::toupper(byte)) : c;
        wordStart = false;
    }
    return name;
}

} // namespace pivra::test
