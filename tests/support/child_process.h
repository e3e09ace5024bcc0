#pragma once
// Programs the tests read through, started without a shell.

#include <string>
#include <vector>

namespace test_support {

struct Output {
    int status = -1; // the exit status; -1 when the program did not start or was killed
    bool timedOut = false;
    std::string out;
    std::string err;
};

// Runs argv[0], a path or a name looked up on PATH, with nothing on its
// standard input. With a time limit, a program still running after that
// many seconds is killed.
Output run(const std::vector<std::string> &argv, int timeLimitSeconds = 0);

} // namespace test_support
