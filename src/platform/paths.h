// File-system paths: program text (GBK) inside the program, the system's form (UTF-8) at the
// moment a file is opened. Every split and join of paths goes through here.
#pragma once

#include <string>

namespace qb::platform {

constexpr char kPathSeparator = '/';

std::string native_path(const std::string& program_path);
std::string program_path(const std::string& native);

// a + separator + b, without doubling a separator that a already ends with.
std::string join_path(const std::string& a, const std::string& b);
// The path without its last component ("/a/b/c" gives "/a/b"; "/a" gives "/"; "a" gives "").
std::string parent_path(const std::string& path);

// The folder of the running executable (system form).
std::string executable_folder();
// True when files can be created in the folder (system form).
bool folder_writable(const std::string& native_folder);

}  // namespace qb::platform
