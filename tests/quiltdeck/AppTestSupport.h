#pragma once

#include <sys/fsuid.h>
#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quiltdeck::testing {

// A fresh folder under /tmp, removed with everything in it.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);
// Alive and not a zombie waiting for its parent.
bool processRunning(pid_t pid);
// The application log as it stands, every entry written so far included.
std::string logContents();
void writeFile(const std::filesystem::path& path, const std::string& content);
// Writes `content` into the file that stands at `path` (the same file, as an editor that saves in
// place does); with `keepTime`, its modification time put back as it was (as `cp -p` leaves it).
void writeInPlace(const std::filesystem::path& path, const std::string& content, bool keepTime);
// writeFile with the missing parent folders made first.
void makeFile(const std::filesystem::path& path, const std::string& content = "");

// Sets an environment variable for a scope, then restores it (or unsets it).
class ScopedVariable {
public:
    ScopedVariable(std::string name, const std::string& value);
    ~ScopedVariable();
    ScopedVariable(const ScopedVariable&) = delete;
    ScopedVariable& operator=(const ScopedVariable&) = delete;

private:
    std::string name_;
    std::optional<std::string> saved_;
};

// The test child (tests/support/QuiltdeckChild.cpp) with the given arguments, on
// the process's environment plus `env`.
struct Child {
    pid_t pid = -1;
    int output = -1;  // its stdout
    int input = -1;   // its stdin
    std::string readLine();
    // The raw wait status; closes the pipes.
    int wait();
};
// `withErrors`: its stderr goes to the same pipe as its stdout.
Child startChild(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
                 bool withErrors = false);

struct ChildResult {
    int status = 0;
    std::string output;
};
ChildResult runChild(const std::vector<std::string>& args, const std::map<std::string, std::string>& env);
// The same with its stderr in the output, killed (SIGKILL) when it has not
// ended within `limit`.
ChildResult runChildWithin(const std::vector<std::string>& args, const std::map<std::string, std::string>& env,
                           std::chrono::milliseconds limit);

// A folder's mode stops nothing a root process writes: as root, this thread checks files as the
// unprivileged user would (the file-system user id is the thread's own, the log writer keeps its).
struct FilesAsNobody {
    static constexpr uid_t nobody = 65534;
    FilesAsNobody() : root(::geteuid() == 0) {
        if (root) ::setfsuid(nobody);
    }
    ~FilesAsNobody() {
        if (root) ::setfsuid(0);
    }
    FilesAsNobody(const FilesAsNobody&) = delete;
    FilesAsNobody& operator=(const FilesAsNobody&) = delete;
    bool root;
};

}  // namespace quiltdeck::testing
