#include "quiltdeck/AppTestSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "quiltdeck/shell/Log.h"

extern char** environ;

namespace quiltdeck::testing {

namespace {

// Nothing in the application tests may touch the real home, configuration or
// state folders: the whole program gets its own before any test runs.
struct ProcessFolders {
    ProcessFolders() {
        char pattern[] = "/tmp/quiltdeck-tests-XXXXXX";
        root = ::mkdtemp(pattern);
        std::filesystem::create_directories(root / "home");
        ::setenv("HOME", (root / "home").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
        ::setenv("XDG_CACHE_HOME", (root / "cache").c_str(), 1);
        // Dates are shown in local time: the tests' is UTC.
        ::setenv("TZ", "UTC", 1);
        ::setenv("QUILTDECK_STATE_DIR", (root / "state").c_str(), 1);
        ::unsetenv("BRIGHTLOOM_STATE_DIR");
    }
    ~ProcessFolders() {
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
    }
    std::filesystem::path root;
};
const ProcessFolders processFolders;

}  // namespace

TempFolder::TempFolder() {
    char pattern[] = "/tmp/quiltdeck-test-XXXXXX";
    path_ = ::mkdtemp(pattern);
}

TempFolder::~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

bool processRunning(pid_t pid) {
    const std::string stat = readFile("/proc/" + std::to_string(pid) + "/stat");
    const size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] != 'Z';
}

std::string logContents() {
    Log::flush();
    return readFile(Log::url());
}

void writeFile(const std::filesystem::path& path, const std::string& content) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

void writeInPlace(const std::filesystem::path& path, const std::string& content, bool keepTime) {
    struct stat before {};
    ::stat(path.c_str(), &before);
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) std::abort();
    if (::write(fd, content.data(), content.size()) != static_cast<ssize_t>(content.size())) std::abort();
    if (keepTime) {
        const timespec times[2] = {before.st_atim, before.st_mtim};
        ::futimens(fd, times);
    }
    ::close(fd);
}

void makeFile(const std::filesystem::path& path, const std::string& content) {
    std::filesystem::create_directories(path.parent_path());
    writeFile(path, content);
}

ScopedVariable::ScopedVariable(std::string name, const std::string& value) : name_(std::move(name)) {
    if (const char* before = std::getenv(name_.c_str())) saved_ = before;
    ::setenv(name_.c_str(), value.c_str(), 1);
}

ScopedVariable::~ScopedVariable() {
    if (saved_) ::setenv(name_.c_str(), saved_->c_str(), 1);
    else ::unsetenv(name_.c_str());
}

std::string Child::readLine() {
    std::string line;
    char c;
    while (::read(output, &c, 1) == 1 && c != '\n') line += c;
    return line;
}

int Child::wait() {
    if (input >= 0) ::close(input);
    if (output >= 0) ::close(output);
    input = output = -1;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return status;
}

Child startChild(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
                 bool withErrors) {
    // Everything the child needs is built before fork: after it only exec follows.
    std::vector<std::string> strings = {QUILTDECK_TEST_APP_CHILD};
    strings.insert(strings.end(), args.begin(), args.end());
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        if (!env.contains(entry.substr(0, entry.find('=')))) environment.push_back(entry);
    }
    for (const auto& [name, value] : env) environment.push_back(name + "=" + value);
    std::vector<char*> argv, envp;
    for (auto& s : strings) argv.push_back(s.data());
    for (auto& s : environment) envp.push_back(s.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);

    int out[2], in[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(in, O_CLOEXEC) != 0) std::abort();
    Child child;
    child.pid = ::fork();
    if (child.pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        if (withErrors) ::dup2(out[1], STDERR_FILENO);
        ::dup2(in[0], STDIN_FILENO);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(in[0]);
    child.output = out[0];
    child.input = in[1];
    return child;
}

ChildResult runChild(const std::vector<std::string>& args, const std::map<std::string, std::string>& env) {
    Child child = startChild(args, env);
    ::close(child.input);
    child.input = -1;
    ChildResult result;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(child.output, buffer, sizeof buffer)) > 0) result.output.append(buffer, static_cast<size_t>(n));
    result.status = child.wait();
    return result;
}

ChildResult runChildWithin(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
                           std::chrono::milliseconds limit) {
    Child child = startChild(args, env, true);
    ::close(child.input);
    child.input = -1;
    ChildResult result;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd entry{child.output, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&entry, 1, static_cast<int>(left.count())) <= 0) {
            ::kill(child.pid, SIGKILL);
            break;
        }
        const ssize_t n = ::read(child.output, buffer, sizeof buffer);
        if (n <= 0) break;
        result.output.append(buffer, static_cast<size_t>(n));
    }
    result.status = child.wait();
    return result;
}

}  // namespace quiltdeck::testing
