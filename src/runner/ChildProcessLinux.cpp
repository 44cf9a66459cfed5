// SPDX-License-Identifier: GPL-3.0-or-later
// Children on Linux: started with posix_spawn from a descriptor of the checked program,
// their ends watched through process descriptors, their error output kept in memory files.
#include "runner/ChildProcess.h"
#include "runner/FileProbes.h"
#include "runner/FileProbesLinux.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <limits>
#include <list>
#include <map>
#include <memory>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>
extern char** environ;

namespace {

class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0)
            close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int fd() const { return m_fd; }

private:
    int m_fd;
};

// A child being waited for; stopRunningChildren() may reap it on the wait's behalf.
struct RunningChild {
    pid_t pid;
    int status = 0;
    bool reaped = false;
};

void reap(RunningChild& child, int options) {
    pid_t waited = 0;
    do
        waited = waitpid(child.pid, &child.status, options);
    while (waited < 0 && errno == EINTR);
    // Gone without a status: somebody else reaped it.
    child.reaped = waited == child.pid || (waited < 0 && errno == ECHILD);
}

// How long a wait sleeps on the child's end alone before it dispatches window events
// while it waits: most tones end sooner, and the window does not notice the pause.
constexpr int quietWaitMs = 4;

// The child's wait status once it has ended. After the quiet wait, its end is an event:
// the loop sleeps until then, dispatching window events. A kernel without process
// descriptors is asked often instead.
int waitForChild(RunningChild& child) {
    const Descriptor process(static_cast<int>(syscall(SYS_pidfd_open, child.pid, 0)));
    if (process.fd() >= 0) {
        pollfd end{process.fd(), POLLIN, 0};
        poll(&end, 1, quietWaitMs);
    }
    reap(child, WNOHANG);
    if (child.reaped)
        return child.status;

    QEventLoop wait;
    const auto checkEnded = [&] {
        if (!child.reaped)
            reap(child, WNOHANG);
        if (child.reaped)
            wait.quit();
    };
    std::unique_ptr<QSocketNotifier> endNotifier;
    QTimer askAgain;
    if (process.fd() >= 0) {
        endNotifier = std::make_unique<QSocketNotifier>(process.fd(), QSocketNotifier::Read);
        QObject::connect(endNotifier.get(), &QSocketNotifier::activated, &wait, checkEnded);
    } else {
        QObject::connect(&askAgain, &QTimer::timeout, &wait, checkEnded);
        askAgain.start(5);
    }
    checkEnded();
    while (!child.reaped)
        wait.exec();
    return child.status;
}

// A memory file for a child's error output and the file actions that give a child its
// standard files.
struct ChildFiles {
    ChildFiles() : errorOutput(memfd_create("child-errors", MFD_CLOEXEC)) {
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        if (errorOutput >= 0)
            posix_spawn_file_actions_adddup2(&actions, errorOutput, 2);
        else
            posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    }
    ~ChildFiles() {
        posix_spawn_file_actions_destroy(&actions);
        if (errorOutput >= 0)
            close(errorOutput);
    }
    ChildFiles(const ChildFiles&) = delete;
    ChildFiles& operator=(const ChildFiles&) = delete;

    int errorOutput;
    posix_spawn_file_actions_t actions;
};

using ErrorFilePool = std::vector<std::unique_ptr<ChildFiles>>;

// A memory file for children's error output, with the file actions that give a child its
// standard files. Both are made once and kept for the next child: making a memory file
// costs more than the rest of a start, and glibc checks each file action against the
// descriptor limit with a system call. A file in use is not in the pool, so a child
// started inside another's wait gets a file of its own.
class ErrorOutputFile {
public:
    // Taken from the pool, when there is one, and given back to it.
    explicit ErrorOutputFile(ErrorFilePool* pool) : m_pool(pool) {
        if (!m_pool || m_pool->empty()) {
            m_files = std::make_unique<ChildFiles>();
        } else {
            m_files = std::move(m_pool->back());
            m_pool->pop_back();
        }
    }
    ~ErrorOutputFile() {
        // Emptied for the next child, which writes from the start (the child shares the
        // position); a file that cannot be emptied is dropped.
        const int fd = m_files->errorOutput;
        if (m_pool &&
            (fd < 0 || m_size == 0 || (ftruncate(fd, 0) == 0 && lseek(fd, 0, SEEK_SET) == 0)))
            m_pool->push_back(std::move(m_files));
    }
    ErrorOutputFile(const ErrorOutputFile&) = delete;
    ErrorOutputFile& operator=(const ErrorOutputFile&) = delete;

    // Standard input and output from /dev/null, the error output into the file (or
    // /dev/null when no memory file could be made). No pipes: a child whose reader is
    // gone could die of a broken pipe after we close.
    const posix_spawn_file_actions_t* actions() const { return &m_files->actions; }

    // What the child wrote, once it has ended; read only when it wrote anything, which a
    // tool that succeeds does not.
    QString text() {
        const int fd = m_files->errorOutput;
        m_size = fd < 0 ? 0 : lseek(fd, 0, SEEK_END);
        if (m_size <= 0)
            return {};
        QByteArray bytes(qMin<qint64>(m_size, keptErrorOutput), Qt::Uninitialized);
        const ssize_t read = pread(fd, bytes.data(), size_t(bytes.size()), 0);
        return QString::fromLocal8Bit(bytes.left(read > 0 ? read : 0));
    }

private:
    ErrorFilePool* m_pool;
    std::unique_ptr<ChildFiles> m_files;
    off_t m_size = -1; // unknown until read
};

// Starts the program from a descriptor of the file that was checked, so that nobody can
// swap the file between the check and the start, with its standard files as the error
// output file says. Gives 0, or the error number of a start that failed.
int spawnProgram(int programFile, const QString& program, const QStringList& arguments,
                 const ErrorOutputFile& errors, pid_t& pid) {
    const QByteArray path = "/proc/self/fd/" + QByteArray::number(programFile);
    // The program's own name comes first; SoX names itself by it in its messages.
    QList<QByteArray> words{QFile::encodeName(QFileInfo(program).completeBaseName())};
    for (const QString& argument : arguments)
        words.append(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& word : words)
        argv.push_back(word.data());
    argv.push_back(nullptr);

    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signalSet;
    sigemptyset(&signalSet);
    posix_spawnattr_setsigmask(&attributes, &signalSet);
    sigaddset(&signalSet, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &signalSet);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    const int error =
        posix_spawn(&pid, path.constData(), errors.actions(), &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    return error;
}

ChildResult endedChild(int status, ErrorOutputFile& errors) {
    return {WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status), errors.text()};
}

} // namespace

struct ChildrenInFlight::Entries {
    std::list<RunningChild> children;
    ErrorFilePool errorFiles;
    // The checked program of children started one after another, opened and checked once
    // while any of them lives: a batch does not open it again for every tone. What runs is
    // still the file that was checked, whatever happens to its name meanwhile.
    std::map<QString, std::weak_ptr<Descriptor>> programs;
};

ChildrenInFlight::ChildrenInFlight() : m_entries(std::make_unique<Entries>()) {}
ChildrenInFlight::~ChildrenInFlight() = default;

void ChildrenInFlight::stopAll() {
    for (RunningChild& child : m_entries->children) {
        if (child.reaped)
            continue;
        kill(child.pid, SIGKILL);
        reap(child, 0);
    }
}

// A command-line tool has no window to show here.
ChildResult runProgram(const QString& program, const QStringList& arguments, int,
                       ChildrenInFlight* inFlight) {
    // The error output goes to a file in memory: a pipe would have to be read while the
    // child runs, or the child would block once it is full.
    const Descriptor file(openTrustedProgram(program));
    if (file.fd() < 0)
        return {startFailureBase + errno, {}};
    ErrorOutputFile errors(inFlight ? &inFlight->entries().errorFiles : nullptr);
    pid_t pid = 0;
    if (const int error = spawnProgram(file.fd(), program, arguments, errors, pid))
        return {startFailureBase + error, {}};
    // Waited for here, and stopped from outside when there is an outside.
    std::list<RunningChild> ownList;
    auto& children = inFlight ? inFlight->entries().children : ownList;
    const auto child = children.insert(children.end(), RunningChild{pid});
    const int status = waitForChild(*child);
    children.erase(child);
    return endedChild(status, errors);
}

namespace {

// The checked program, from those the owner keeps open when there is an owner.
std::shared_ptr<Descriptor> trustedProgram(const QString& program, ChildrenInFlight* owner,
                                           int& error) {
    std::weak_ptr<Descriptor>* kept = owner ? &owner->entries().programs[program] : nullptr;
    if (kept)
        if (std::shared_ptr<Descriptor> file = kept->lock())
            return file;
    const int fd = openTrustedProgram(program);
    error = fd < 0 ? errno : 0;
    auto file = std::make_shared<Descriptor>(fd);
    if (fd >= 0 && kept)
        *kept = file;
    return file;
}

} // namespace

struct StartedChild::State {
    explicit State(ChildrenInFlight* owner)
        : errors(owner ? &owner->entries().errorFiles : nullptr) {}
    std::shared_ptr<Descriptor> program;
    ErrorOutputFile errors;
    RunningChild child{0};
    std::unique_ptr<Descriptor> end;
    std::optional<ChildResult> result;
};

StartedChild::StartedChild(const CommandLine& command, ChildrenInFlight* owner)
    : m_state(std::make_unique<State>(owner)) {
    const QString program = resolvedProgram(command.program);
    int error = 0;
    m_state->program = trustedProgram(program, owner, error);
    pid_t pid = 0;
    if (error == 0)
        error =
            spawnProgram(m_state->program->fd(), program, command.arguments, m_state->errors, pid);
    if (error != 0) {
        m_state->result = ChildResult{startFailureBase + error, {}};
        return;
    }
    m_state->child.pid = pid;
    m_state->end = std::make_unique<Descriptor>(static_cast<int>(syscall(SYS_pidfd_open, pid, 0)));
}

StartedChild::~StartedChild() {
    stop();
}

int StartedChild::endDescriptor() const {
    return m_state->result || !m_state->end ? -1 : m_state->end->fd();
}

bool StartedChild::hasEnded() {
    if (m_state->result)
        return true;
    reap(m_state->child, WNOHANG);
    if (m_state->child.reaped)
        m_state->result = endedChild(m_state->child.status, m_state->errors);
    return m_state->result.has_value();
}

ChildResult StartedChild::result() const {
    return m_state->result.value_or(ChildResult{});
}

void StartedChild::stop() {
    if (m_state->result)
        return;
    kill(m_state->child.pid, SIGKILL);
    reap(m_state->child, 0);
    m_state->result = endedChild(m_state->child.status, m_state->errors);
}

void waitForAnyEnd(const QList<int>& endDescriptors, int wakeDescriptor, int timeoutMs) {
    std::vector<pollfd> ends;
    bool everyEndWatched = true;
    for (const int end : endDescriptors) {
        if (end >= 0)
            ends.push_back({end, POLLIN, 0});
        else
            everyEndWatched = false;
    }
    if (wakeDescriptor >= 0)
        ends.push_back({wakeDescriptor, POLLIN, 0});
    constexpr int askAgainMs = 2;
    while (poll(ends.data(), ends.size(), everyEndWatched ? timeoutMs : askAgainMs) < 0 &&
           errno == EINTR) {
    }
}

int raisedDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0)
        return 1024;
    if (limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
        getrlimit(RLIMIT_NOFILE, &limit);
    }
    return int(std::min<rlim_t>(limit.rlim_cur, std::numeric_limits<int>::max()));
}
