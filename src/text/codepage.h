// Article files to program text and back: detection of the encoding (byte-order marks, an HTML
// meta charset, a UTF-8 test) and conversion through iconv.
#pragma once

#include <string>
#include <string_view>

namespace qb::text {

// Encoding codes: also the items of the file-encoding combo box (0 to 4).
enum Encoding : int {
    kDetect = 0,
    kAnsi = 1,  // GBK, program text as it is
    kUtf8 = 2,
    kUtf16Le = 3,
    kUtf16Be = 4,
    kBig5 = 5,
    kBig5Hkscs = 6,
};

// The iconv name of a code ("UTF-8" ...), empty for 0 and 1.
const char* charset_name(int code);

// Converts between two charsets; the program side "GB18030" is held as GBK ("?" for what GBK
// lacks). Empty when nothing could be converted.
std::string ConvertCodePage(const std::string& bytes, const std::string& from_charset,
                            const std::string& to_charset);

// Reads an article as program text. path is in the file system's form; when it is empty the
// source is bytes_in, or text_in when bytes_in is empty. *detected receives the code used
// (1 when the bytes were taken as GBK). Empty text when the file cannot be read: only regular
// files of at most 1 GB are read (a FIFO or device is never waited for); *failure (when given)
// then receives the reason as program text, and is emptied otherwise.
std::string ReadArticleText(const std::string& path, int choice, int* detected = nullptr,
                            const std::string& bytes_in = {}, const std::string& text_in = {},
                            std::string* failure = nullptr);

// Encodes text for choice into *bytes_out (when given) and writes it to path (creating or
// truncating). False when path is empty or the file cannot be written.
bool WriteArticleText(const std::string& path, const std::string& text, int choice,
                      std::string* bytes_out = nullptr);

// A charset declared in a <meta tag of the page's head: 1 UTF-8, 2 Big5, 3 Big5-HKSCS.
bool SniffMetaCharset(std::string_view text, int* code_out);

bool LooksLikeUtf8(std::string_view bytes);

}  // namespace qb::text
