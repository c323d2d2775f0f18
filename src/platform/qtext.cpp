#include "platform/qtext.h"

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

}  // namespace qb::platform
