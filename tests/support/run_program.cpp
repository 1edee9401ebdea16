#include "run_program.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

// The binary's environment: its own instance and settings folders, its home there too (where
// F12 saves from a desktop), and no display unless one is given.
std::vector<std::string> environmentFor(const std::string& instancesDir,
                                        const std::string& display) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
        std::string v = *e;
        if (v.rfind("XDG_RUNTIME_DIR=", 0) == 0 || v.rfind("XDG_CONFIG_HOME=", 0) == 0 ||
            v.rfind("DISPLAY=", 0) == 0 || v.rfind("WAYLAND_DISPLAY=", 0) == 0 ||
            v.rfind("SDL_VIDEODRIVER=", 0) == 0 || v.rfind("HOME=", 0) == 0)
            continue;
        env.push_back(v);
    }
    env.push_back("XDG_RUNTIME_DIR=" + instancesDir);
    env.push_back("XDG_CONFIG_HOME=" + instancesDir + "/config");
    env.push_back("HOME=" + instancesDir);
    if (!display.empty()) env.push_back("DISPLAY=" + display);
    return env;
}

std::vector<std::string> commandFor(const std::vector<std::string>& args) {
    std::vector<std::string> argv{KESTROVA_BINARY};
    argv.insert(argv.end(), args.begin(), args.end());
    return argv;
}

// The null-terminated array exec wants; the strings must outlive it.
std::vector<char*> pointersTo(std::vector<std::string>& strings) {
    std::vector<char*> p;
    for (std::string& s : strings) p.push_back(s.data());
    p.push_back(nullptr);
    return p;
}

int spawn(const std::vector<std::string>& args, const std::string& instancesDir,
          const std::string& inFile, const std::string& outFile, const std::string& errFile,
          const std::string& display = "", const std::string& workDir = "") {
    std::vector<std::string> env = environmentFor(instancesDir, display);
    std::vector<std::string> argv = commandFor(args);
    std::vector<char*> envp = pointersTo(env), argp = pointersTo(argv);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (!workDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workDir.c_str());
    posix_spawn_file_actions_addopen(&actions, 0, inFile.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    posix_spawn_file_actions_addopen(&actions, 2, errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    // The test runner's own dispositions are not the program's: an ignored stop signal would
    // stay ignored.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&defaults, s);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argp[0], &actions, &attributes, argp.data(), envp.data());
    posix_spawnattr_destroy(&attributes);
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
    std::vector<std::string> env = environmentFor(instancesDir, "");
    std::vector<char*> envp = pointersTo(env);
    std::vector<std::string> argv = commandFor(args);
    std::vector<char*> argp = pointersTo(argv);
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

BoundedResult runKestrovaBounded(const std::vector<std::string>& args, const std::string& input,
                                 const RunBounds& bounds,
                                 const std::function<void(int pid)>& whileRunning) {
    TempDir io, instances;
    const std::string in = bounds.inputFile.empty() ? io.file("in") : bounds.inputFile;
    const std::string out = io.file("out"), err = io.file("err");
    if (bounds.inputFile.empty()) writeFile(in, input);
    // Everything the child needs is made before fork: after it only async-signal-safe calls.
    std::vector<std::string> env =
        environmentFor(bounds.instancesDir.empty() ? instances.path() : bounds.instancesDir, "");
    std::vector<std::string> argv = commandFor(args);
    std::vector<char*> envp = pointersTo(env), argp = pointersTo(argv);

    int idle[2] = {-1, -1};
    if (bounds.inputIdle && pipe2(idle, O_CLOEXEC) != 0) throw std::runtime_error("no pipe");
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("cannot fork");
    if (pid == 0) {
        const int fds[3] = {bounds.inputIdle ? idle[0] : open(in.c_str(), O_RDONLY),
                            open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644),
                            open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644)};
        for (int fd = 0; fd < 3; ++fd)
            if (fds[fd] < 0 || dup2(fds[fd], fd) < 0) _exit(126);
        if (bounds.inputClosed) close(0);
        for (int s : {SIGINT, SIGTERM, SIGHUP}) signal(s, SIG_DFL);  // as in spawn()
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        if (bounds.addressSpaceBytes > 0) {
            const rlimit limit{static_cast<rlim_t>(bounds.addressSpaceBytes),
                               static_cast<rlim_t>(bounds.addressSpaceBytes)};
            if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(126);
        }
        if (bounds.fileSizeBytes > 0) {
            signal(SIGXFSZ, bounds.fileSizeSignal ? SIG_DFL : SIG_IGN);
            const rlimit limit{static_cast<rlim_t>(bounds.fileSizeBytes),
                               static_cast<rlim_t>(bounds.fileSizeBytes)};
            if (setrlimit(RLIMIT_FSIZE, &limit) != 0) _exit(126);
        }
        execve(argp[0], argp.data(), envp.data());
        _exit(127);
    }
    if (idle[0] >= 0) close(idle[0]);
    if (whileRunning) whileRunning(pid);
    BoundedResult r;
    const std::optional<int> code = waitKestrovaFor(pid, bounds.seconds * 1000);
    if (idle[1] >= 0) close(idle[1]);
    if (code) {
        r.exitCode = *code;
    } else {
        r.hung = true;
        kill(pid, SIGKILL);
        r.exitCode = waitKestrova(pid);
    }
    r.out = readFile(out);
    r.err = readFile(err);
    return r;
}

bool waitForTrace(const std::string& file, const std::string& needle, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        for (const std::string& line : readLines(file))
            if (line.find(needle) != std::string::npos) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}
