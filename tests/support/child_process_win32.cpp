#include "child_process.h"

#include "wide_text.h"

#include <windows.h>

#include <stdexcept>
#include <thread>

namespace test_support {

namespace {

// One argument as the C run-time's parser reads it back: in quotes when it
// holds blanks or quotes, with the backslashes before a quote doubled.
void appendQuoted(std::wstring &line, const std::wstring &arg)
{
    if (!arg.empty() && arg.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
        line += arg;
        return;
    }
    line += L'"';
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        line.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        line += c;
    }
    line.append(2 * backslashes, L'\\');
    line += L'"';
}

// The child's end of a pipe is inherited, ours is not.
void makePipe(HANDLE &ours, HANDLE &childs)
{
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    if (!CreatePipe(&ours, &childs, &inherit, 0) || !SetHandleInformation(ours, HANDLE_FLAG_INHERIT, 0))
        throw std::runtime_error("cannot make a pipe");
}

void readAll(HANDLE pipe, std::string &sink)
{
    char buffer[65536];
    DWORD got = 0;
    while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0)
        sink.append(buffer, got);
}

} // namespace

Output run(const std::vector<std::string> &argv, int timeLimitSeconds)
{
    std::wstring line;
    for (const std::string &arg : argv) {
        if (!line.empty())
            line += L' ';
        appendQuoted(line, wide(arg));
    }
    Output result;
    HANDLE outRead = nullptr, outWrite = nullptr, errRead = nullptr, errWrite = nullptr;
    makePipe(outRead, outWrite);
    makePipe(errRead, errWrite);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE nothing = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nothing;
    startup.hStdOutput = outWrite;
    startup.hStdError = errWrite;
    PROCESS_INFORMATION process{};
    const bool started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                        nullptr, &startup, &process);
    const DWORD startError = GetLastError();
    // Only the child holds the write ends now, so the reads end when it does.
    for (HANDLE h : {outWrite, errWrite, nothing})
        CloseHandle(h);
    if (!started) {
        CloseHandle(outRead);
        CloseHandle(errRead);
        result.err = "cannot start " + argv.at(0) + ": error " + std::to_string(startError);
        return result;
    }
    CloseHandle(process.hThread);
    std::thread outReader(readAll, outRead, std::ref(result.out));
    std::thread errReader(readAll, errRead, std::ref(result.err));
    const DWORD limit = timeLimitSeconds > 0 ? static_cast<DWORD>(timeLimitSeconds) * 1000 : INFINITE;
    if (WaitForSingleObject(process.hProcess, limit) == WAIT_TIMEOUT) {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, INFINITE);
        result.timedOut = true;
    }
    outReader.join();
    errReader.join();
    DWORD code = 0;
    if (!result.timedOut && GetExitCodeProcess(process.hProcess, &code))
        result.status = static_cast<int>(code);
    CloseHandle(process.hProcess);
    CloseHandle(outRead);
    CloseHandle(errRead);
    return result;
}

} // namespace test_support
