#include "IxoProcess.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <utility>

#include "TempDir.h"

extern char** environ;

namespace ixo::test {

IxoResult RunIxo(const std::vector<std::string>& args, const std::string& folder,
                 const std::map<std::string, std::string>& env) {
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

    const std::string outPath = folder + "/ixo-stdout";
    const std::string errPath = folder + "/ixo-stderr";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    pid_t pid = 0;
    const int spawnError = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);

    IxoResult result;
    if (spawnError != 0) {
        ADD_FAILURE() << "cannot start " << argv[0] << ": error " << spawnError;
        return result;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            ADD_FAILURE() << "waitpid failed";
            return result;
        }
    }
    if (WIFEXITED(status)) result.ExitStatus = WEXITSTATUS(status);
    result.Out = ReadBytes(outPath);
    result.Err = ReadBytes(errPath);
    return result;
}

}  // namespace ixo::test
