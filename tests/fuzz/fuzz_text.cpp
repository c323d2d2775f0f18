// libFuzzer target for the text functions that take article bytes. The first byte picks the
// function, the rest is the input. Built by scripts/fuzz with clang.
#include <cstddef>
#include <cstdint>
#include <string>

#include "text/codepage.h"
#include "text/gbk.h"
#include "text/html.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const int which = data[0] % 6;
    const std::string in(reinterpret_cast<const char*>(data + 1), size - 1);
    using namespace qb::text;
    switch (which) {
        case 0: {
            int code = -1;
            std::string t = ReadArticleText("", data[0] % 7, &code, in);
            if (code < 1 || code > 6) __builtin_trap();
            break;
        }
        case 1:
            DecodeEntities(in);
            break;
        case 2: {
            const size_t cut = in.size() / 3;
            int pos = 0;
            std::string r =
                ExtractBetween(in.substr(2 * cut), in.substr(0, cut % 8), in.substr(cut, cut % 5),
                               &pos, {.reverse = (data[0] & 8) != 0});
            if (r.size() > in.size()) __builtin_trap();
            break;
        }
        case 3: {
            std::string s = MakeSummary(in, 0, 300);
            if (CountChars(s) > 300) __builtin_trap();
            break;
        }
        case 4:
            PickTitleSentence(in, "", data[0] % 12, "", (data[0] & 16) != 0);
            break;
        case 5: {
            std::string s = SanitizeFileName(in);
            for (char c : std::string("\"\r\n\t"))
                if (s.find(c) != std::string::npos) __builtin_trap();
            break;
        }
    }
    return 0;
}
