// Paths as text: joining and splitting with the platform separator "/". Used by the engines
// (which must not include Qt) and by platform/ alike.
#pragma once

#include <string>

namespace qb::text {

constexpr char kPathSeparator = '/';

// a + separator + b, without doubling a separator that a already ends with.
std::string join_path(const std::string& a, const std::string& b);
// The path without its last component ("/a/b/c" gives "/a/b"; "/a" gives "/"; "a" gives "").
std::string parent_path(const std::string& path);
// The last component ("/a/b.txt" gives "b.txt").
std::string file_name(const std::string& path);
// The last component without the part from its last "." on ("b.tar.gz" gives "b.tar").
std::string base_name(const std::string& path);
// The text after the last "." of the last component, empty when it has none.
std::string extension(const std::string& path);

}  // namespace qb::text
