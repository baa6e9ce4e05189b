#pragma once

#include <map>
#include <string>
#include <vector>

namespace ixo::test {

// What a finished run of the ixo command left behind.
struct IxoResult {
    int ExitStatus = -1;  // -1 when it did not exit normally
    std::string Out;
    std::string Err;
};

// Where a run's standard input comes from, and where its standard output goes when
// not to a file in the folder, captured (for example /dev/full).
struct IxoStreams {
    std::string Input = "/dev/null";
    std::string Output = {};
};

// Runs the built ixo with args as a real process in the working folder folder, its
// standard output and error captured through files there. env adds to or replaces
// variables of this process's environment; LC_ALL is "C" unless env sets it, so
// that the output does not depend on the locale of whoever runs the tests.
IxoResult RunIxo(const std::vector<std::string>& args, const std::string& folder,
                 const std::map<std::string, std::string>& env = {},
                 const IxoStreams& streams = {});

// RunIxo in two steps, for a test that acts while ixo runs (sends it a signal, say):
// starts it, as the user and group uid when uid >= 0, and gives its process id;
// then waits for it to end and gives what it left behind.
int StartIxo(const std::vector<std::string>& args, const std::string& folder,
             const std::map<std::string, std::string>& env = {}, int uid = -1,
             const IxoStreams& streams = {});
IxoResult FinishIxo(int pid, const std::string& folder, const IxoStreams& streams = {});

}  // namespace ixo::test
