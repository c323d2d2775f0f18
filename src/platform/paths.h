// File-system paths: program text (GBK) inside the program, the system's form (UTF-8) at the
// moment a file is opened. Every split and join of paths goes through here.
#pragma once

#include <string>
#include <vector>

#include "text/path_text.h"

namespace qb::platform {

using text::join_path;
using text::kPathSeparator;
using text::parent_path;

std::string native_path(const std::string& program_path);
std::string program_path(const std::string& native);

// The folder of the running executable (system form).
std::string executable_folder();
// True when files can be created in the folder (system form).
bool folder_writable(const std::string& native_folder);

// The program's manual (system form): README.md beside the program (or in the source tree
// above a build folder), else in the installed documentation folder; empty when none is
// there. searched lists the places looked at.
std::string manual_path(std::vector<std::string>* searched = nullptr);

}  // namespace qb::platform
