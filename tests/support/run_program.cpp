#include "run_program.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

TempDir::TempDir() {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "kestrova-test-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeFile(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

std::vector<std::string> readLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

namespace {

// The environment kestrova runs in: its own instance and settings folders, and no display
// unless one is given.
std::vector<std::string> programEnvironment(const std::string& instancesDir,
                                            const std::string& display) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string v = *e;
        if (v.rfind("XDG_RUNTIME_DIR=", 0) == 0 || v.rfind("XDG_CONFIG_HOME=", 0) == 0 ||
            v.rfind("DISPLAY=", 0) == 0 || v.rfind("WAYLAND_DISPLAY=", 0) == 0 ||
            v.rfind("SDL_VIDEODRIVER=", 0) == 0)
            continue;
        env.push_back(v);
    }
    env.push_back("XDG_RUNTIME_DIR=" + instancesDir);
    env.push_back("XDG_CONFIG_HOME=" + instancesDir + "/config");
    if (!display.empty()) env.push_back("DISPLAY=" + display);
    return env;
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (std::string& s : strings) out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

std::vector<std::string> commandLine(const std::vector<std::string>& args) {
    std::vector<std::string> argv{KESTROVA_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

// Starts the binary with its own instance folder and no display unless one is given.
int spawn(const std::vector<std::string>& args, const std::string& instancesDir,
          const std::string& inFile, const std::string& outFile, const std::string& errFile,
          const std::string& display = "", const std::string& workDir = "") {
    std::vector<std::string> env = programEnvironment(instancesDir, display);
    std::vector<char*> envp = pointers(env);
    std::vector<std::string> argv = commandLine(args);
    std::vector<char*> argp = pointers(argv);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!workDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
    posix_spawn_file_actions_addopen(&actions, 0, inFile.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argp[0], &actions, nullptr, argp.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start kestrova");
    return pid;
}

}  // namespace

int startKestrova(const std::vector<std::string>& args, const std::string& instancesDir,
                  const std::string& outFile, const std::string& errFile) {
    return spawn(args, instancesDir, "/dev/null", outFile, errFile);
}

int waitKestrova(int pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

RunResult runKestrova(const std::vector<std::string>& args, const std::string& input,
                      const std::string& instancesDir) {
    TempDir io;
    const std::string in = io.file("in"), out = io.file("out"), err = io.file("err");
    writeFile(in, input);
    TempDir ownInstances;
    const int pid =
        spawn(args, instancesDir.empty() ? ownInstances.path() : instancesDir, in, out, err);
    RunResult r;
    r.exitCode = waitKestrova(pid);
    r.out = readFile(out);
    r.err = readFile(err);
    return r;
}

int startKestrovaOnDisplay(const std::vector<std::string>& args, const std::string& instancesDir,
                           const std::string& display, const std::string& workDir,
                           const std::string& outFile, const std::string& errFile) {
    return spawn(args, instancesDir, "/dev/null", outFile, errFile, display, workDir);
}

int startKestrovaAtBarrier(const std::vector<std::string>& args, const std::string& instancesDir,
                           const int barrier[2], const std::string& outFile,
                           const std::string& errFile) {
    // Everything the child needs is made before the fork: after it, only plain system calls.
    std::vector<std::string> env = programEnvironment(instancesDir, "");
    std::vector<char*> envp = pointers(env);
    std::vector<std::string> argv = commandLine(args);
    std::vector<char*> argp = pointers(argv);
    const int in = open("/dev/null", O_RDONLY | O_CLOEXEC);
    const int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (in < 0 || out < 0 || err < 0) throw std::runtime_error("cannot open the output files");
    const pid_t pid = fork();
    if (pid == 0) {
        close(barrier[1]);
        char c;
        while (read(barrier[0], &c, 1) > 0) {}
        close(barrier[0]);
        if (dup2(in, 0) < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(127);
        execve(argp[0], argp.data(), envp.data());
        _exit(127);
    }
    close(in);
    close(out);
    close(err);
    if (pid < 0) throw std::runtime_error("cannot start kestrova");
    return pid;
}

std::optional<int> waitKestrovaFor(int pid, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int status = 0;
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) {
            if (WIFEXITED(status)) return WEXITSTATUS(status);
            return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
        }
        if (r < 0) return -1;
        if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}
