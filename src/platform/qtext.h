// The one pair of conversions between program text (GBK) and QString, plus literals for
// captions written in the source as UTF-8.
#pragma once

#include <QString>
#include <string>

namespace qb::platform {

QString to_qstring(const std::string& gbk);
// Characters GBK cannot hold become "?".
std::string from_qstring(const QString& s);

// The characters of s that GBK cannot hold, as "U+1F600 U+20AC" (program text; the first
// few, each once); empty when GBK holds all of s. A statement or a name with such a character
// is refused with them named, never sent with a "?" the operator did not type.
std::string characters_gbk_lacks(const QString& s);

// A UTF-8 literal of the source code as a QString (captions, labels).
inline QString qtr(const char* utf8) {
    return QString::fromUtf8(utf8);
}

}  // namespace qb::platform
