#include "platform/qtext.h"

#include <QList>
#include <cstdio>

#include "text/iconv_text.h"

namespace qb::platform {

QString to_qstring(const std::string& gbk) {
    const std::string utf8 = text::gbk_to_utf8(gbk);
    return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size()));
}

std::string from_qstring(const QString& s) {
    const QByteArray utf8 = s.toUtf8();
    return text::utf8_to_gbk(std::string_view(utf8.constData(), static_cast<size_t>(utf8.size())));
}

std::string characters_gbk_lacks(const QString& s) {
    if (to_qstring(from_qstring(s)) == s) return {};
    std::string out;
    std::u32string seen;
    for (const uint c32 : s.toUcs4()) {
        const char32_t c = c32;
        if (seen.find(c) != std::u32string::npos) continue;
        const QString one = QString::fromUcs4(&c, 1);
        if (to_qstring(from_qstring(one)) == one) continue;
        seen += c;
        char code[16];
        std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
        out += (out.empty() ? "" : " ") + std::string(code);
        if (seen.size() == 5) break;
    }
    return out;
}

}  // namespace qb::platform
