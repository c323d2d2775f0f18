#include "text/date_parts.h"

namespace qb::text {

int parse_date_parts(std::string_view text, int (&parts)[6]) {
    int filled = 0;
    size_t i = 0;
    for (int& p : parts) {
        p = 0;
        while (i < text.size() && !(text[i] >= '0' && text[i] <= '9')) ++i;
        if (i >= text.size()) continue;
        int v = 0;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
            if (v < 100000) v = v * 10 + (text[i] - '0');
            ++i;
        }
        p = v;
        ++filled;
    }
    return filled;
}

}  // namespace qb::text
