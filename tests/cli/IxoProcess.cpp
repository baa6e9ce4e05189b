#include "IxoProcess.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <utility>

#include "TempDir.h"

extern char** environ;

namespace ixo::test {

int StartIxo(const std::vector<std::string>& args, const std::string& folder,
             const std::map<std::string, std::string>& env, int uid, const IxoStreams& streams) {
    std::map<std::string, std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::size_t equals = text.find('=');
        if (equals != std::string::npos)
            variables[text.substr(0, equals)] = text.substr(equals + 1);
    }
    std::map<std::string, std::string> overrides = env;
    overrides.try_emplace("LC_ALL", "C");
    for (const auto& [name, value] : overrides) variables.insert_or_assign(name, value);

    std::vector<std::string> envText;
    for (const auto& [name, value] : variables) {
        std::string text = name;
        text += '=';
        text += value;
        envText.push_back(std::move(text));
    }
    std::vector<char*> envp;
    for (std::string& text : envText) envp.push_back(text.data());
    envp.push_back(nullptr);

    std::vector<std::string> argText = {IXO_CLI_PATH};
    argText.insert(argText.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& text : argText) argv.push_back(text.data());
    argv.push_back(nullptr);

    const std::string outPath = streams.Output.empty() ? folder + "/ixo-stdout" : streams.Output;
    const std::string errPath = folder + "/ixo-stderr";
    // Opened before the fork, so that the child only calls what is safe there.
    const int in = ::open(streams.Input.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = ::open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    const int err = ::open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    const pid_t pid = ::fork();
    if (pid == 0) {
        // Raw system calls only: another thread may have held a lock of the C library
        // or of a preloaded library (umockdev's) at the fork, and holds it for ever here.
        const auto call = [](long number, long a = 0, long b = 0, long c = 0) {
            return ::syscall(number, a, b, c) == 0;
        };
        bool ready = call(SYS_chdir, reinterpret_cast<long>(folder.c_str()));
        for (int fd = 0; fd < 3 && ready; ++fd) {
            const int from[] = {in, out, err};
            ready = ::syscall(SYS_dup2, from[fd], fd) == fd;
        }
        if (ready && uid >= 0) {
            ready = call(SYS_setgroups, 0, 0) && call(SYS_setgid, uid) && call(SYS_setuid, uid);
        }
        if (ready) {
            ::syscall(SYS_execve, reinterpret_cast<long>(argv[0]),
                      reinterpret_cast<long>(argv.data()), reinterpret_cast<long>(envp.data()));
        }
        ::syscall(SYS_exit, 127);
    }
    for (const int fd : {in, out, err}) ::close(fd);
    if (pid < 0) ADD_FAILURE() << "cannot start " << argv[0];
    return pid;
}

IxoResult FinishIxo(int pid, const std::string& folder, const IxoStreams& streams) {
    IxoResult result;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            ADD_FAILURE() << "waitpid failed";
            return result;
        }
    }
    if (WIFEXITED(status)) result.ExitStatus = WEXITSTATUS(status);
    if (streams.Output.empty()) result.Out = ReadBytes(folder + "/ixo-stdout");
    result.Err = ReadBytes(folder + "/ixo-stderr");
    return result;
}

IxoResult RunIxo(const std::vector<std::string>& args, const std::string& folder,
                 const std::map<std::string, std::string>& env, const IxoStreams& streams) {
    const int pid = StartIxo(args, folder, env, -1, streams);
    if (pid < 0) return {};
    return FinishIxo(pid, folder, streams);
}

}  // namespace ixo::test
