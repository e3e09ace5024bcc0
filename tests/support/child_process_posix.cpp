#include "child_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <system_error>

extern char **environ;

namespace test_support {

namespace {

// The child's standard output and error pipes, closed when done.
struct Pipes {
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};

    ~Pipes()
    {
        for (int fd : {out[0], out[1], err[0], err[1]})
            if (fd >= 0)
                close(fd);
    }
};

void closeWriteEnds(Pipes &pipes)
{
    close(pipes.out[1]);
    close(pipes.err[1]);
    pipes.out[1] = pipes.err[1] = -1;
}

// Reads both pipes until the child closes them or `deadline` passes;
// returns false when it passed.
bool readAll(const Pipes &pipes, Output &result, std::chrono::steady_clock::time_point deadline, bool limited)
{
    pollfd fds[2] = {{pipes.out[0], POLLIN, 0}, {pipes.err[0], POLLIN, 0}};
    std::string *sinks[2] = {&result.out, &result.err};
    int open = 2;
    while (open > 0) {
        int wait = -1;
        if (limited) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            wait = static_cast<int>(left.count());
        }
        const int ready = poll(fds, 2, wait);
        if (ready < 0 && errno == EINTR)
            continue;
        if (ready < 0)
            throw std::system_error(errno, std::generic_category(), "poll");
        if (ready == 0)
            return false;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || fds[i].revents == 0)
                continue;
            char buffer[65536];
            const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
            if (got > 0) {
                sinks[i]->append(buffer, static_cast<std::size_t>(got));
            } else if (got == 0 || errno != EINTR) {
                fds[i].fd = -1;
                --open;
            }
        }
    }
    return true;
}

} // namespace

Output run(const std::vector<std::string> &argv, int timeLimitSeconds)
{
    Output result;
    Pipes pipes;
    if (pipe2(pipes.out, O_CLOEXEC) != 0 || pipe2(pipes.err, O_CLOEXEC) != 0) {
        result.err = "cannot make pipes: " + std::string(std::strerror(errno));
        return result;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, pipes.out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipes.err[1], 2);
    std::vector<char *> args;
    for (const std::string &arg : argv)
        args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv.at(0).c_str(), &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        result.err = "cannot start " + argv.at(0) + ": " + std::strerror(spawned);
        return result;
    }
    closeWriteEnds(pipes);

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeLimitSeconds);
    if (!readAll(pipes, result, deadline, timeLimitSeconds > 0)) {
        kill(pid, SIGKILL);
        result.timedOut = true;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    if (!result.timedOut && WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    return result;
}

} // namespace test_support
