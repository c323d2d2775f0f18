// A program run in the background with its standard output and error in files, and a row
// count read beside it.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "db/connection.h"

namespace qb::test {

inline pid_t start_process(const char* program, const std::vector<std::string>& args,
                           const std::string& out_path, const std::string& err_path) {
    std::vector<const char*> argv{program};
    for (const std::string& a : args) argv.push_back(a.c_str());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
        if (!std::freopen(out_path.c_str(), "w", stdout) ||
            !std::freopen(err_path.c_str(), "w", stderr))
            _exit(126);
        execv(program, const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    return pid;
}

// The exit status; -1 when the program did not exit.
inline int wait_for_exit(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

// "select count(*) from what"; -1 when it fails.
inline int64_t count_of(db::Connection* c, const std::string& what) {
    int64_t n = -1;
    if (c && db::execute_sql(c, "select count(*) from " + what))
        if (auto r = db::take_result(c)) r->read_field(0u, n);
    return n;
}

}  // namespace qb::test
