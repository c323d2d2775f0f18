// What the operator reads after a failed login.
#pragma once

#include <string>

namespace qb::app {

std::string connect_failure_caption();
std::string connect_failure_hint();
std::string connect_failure_details();

}  // namespace qb::app
