#include "common/decimal.h"

namespace br {

bool parseDecimal(const std::string& text, uint64_t& number) {
    number = 0;
    for (char c : text) {
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (c < '0' || c > '9' || number > (UINT64_MAX - digit) / 10) {
            return false;
        }
        number = number * 10 + digit;
    }
    return !text.empty();
}

}  // namespace br
