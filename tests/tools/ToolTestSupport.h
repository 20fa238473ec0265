// What the tool tests share: the built ombrel-host run as users and scripts run it, in a private
// folder, with its exit code, output and the files it leaves.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kExitUsage = 2, kExitInput = 3, kExitPlugin = 4, kExitPreset = 5, kExitOutput = 6;

struct Result {
    int code = -1;
    std::string out, err;
};

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

class ToolTest : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/ombrel-host-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path path(const std::string& name) const { return dir_ / name; }

    // The tool with its output captured through files, so nothing can fill a pipe; stdin from
    // the descriptor given, when not -1.
    pid_t start(std::vector<std::string> args, int stdinFd = -1) {
        args.insert(args.begin(), OMBREL_HOST_TOOL);
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        fs::path out = dir_ / ".stdout", err = dir_ / ".stderr";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                         0644);
        if (stdinFd >= 0) posix_spawn_file_actions_adddup2(&actions, stdinFd, 0);
        // The signals the tests send end the tool even when whoever started the tests ignores
        // them (a shell's background job, nohup); SIGXFSZ stays as the test sets it.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        sigset_t defaults;
        sigemptyset(&defaults);
        for (int s : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGPIPE, SIGALRM, SIGUSR1})
            sigaddset(&defaults, s);
        posix_spawnattr_setsigdefault(&attributes, &defaults);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
        std::vector<std::string> env = environment();
        std::vector<char*> envp;
        for (std::string& e : env)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        pid_t pid = -1;
        if (posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), envp.data()) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
        return pid;
    }
    // Exit code, or 128 + the signal that ended it.
    Result wait(pid_t pid) {
        Result r;
        int status = 0;
        if (pid > 0 && waitpid(pid, &status, 0) == pid)
            r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        r.out = slurp(dir_ / ".stdout");
        r.err = slurp(dir_ / ".stderr");
        fs::remove(dir_ / ".stdout");
        fs::remove(dir_ / ".stderr");
        return r;
    }
    Result run(std::vector<std::string> args, int stdinFd = -1) {
        return wait(start(std::move(args), stdinFd));
    }

    // The files a failed command must not leave: the output and any temporary file.
    std::vector<std::string> leftovers(const std::vector<std::string>& inputs) const {
        std::vector<std::string> extra;
        for (const auto& entry : fs::directory_iterator(dir_)) {
            std::string name = entry.path().filename();
            if (std::find(inputs.begin(), inputs.end(), name) == inputs.end())
                extra.push_back(name);
        }
        return extra;
    }

    // Changes to the tool's environment for the runs that follow: a value sets, none removes.
    void setEnv(const std::string& name, const std::string& value) { env_[name] = {true, value}; }
    void unsetEnv(const std::string& name) { env_[name] = {false, ""}; }
    void resetEnv() { env_.clear(); }

    std::vector<std::string> environment() const {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            std::string entry = *e;
            if (!env_.count(entry.substr(0, entry.find('=')))) env.push_back(entry);
        }
        for (const auto& [name, change] : env_)
            if (change.first) env.push_back(name + "=" + change.second);
        return env;
    }

    fs::path dir_;
    std::map<std::string, std::pair<bool, std::string>> env_;
};

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

#define SKIP_WITHOUT(plugin)                                                                       \
    if (std::string(plugin).empty() || !fs::exists(plugin))                                        \
    GTEST_SKIP() << "peer plug-in not installed"

} // namespace
