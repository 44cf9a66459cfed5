#include "synth/LibsoxEngine.h"

#include "runner/Failure.h"
#include "synth/LibsoxTone.h"

#include <QFile>
#include <csignal>
#include <cstring>
#include <optional>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

// A request is its size, the seed and the arguments, each ended by a zero byte; a reply is
// the status, the size of the error output and the error output.

namespace {

bool readAll(int descriptor, void* data, std::size_t size) {
    auto* at = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t got = read(descriptor, at, size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        at += got;
        size -= std::size_t(got);
    }
    return true;
}

bool writeAll(int descriptor, const void* data, std::size_t size) {
    const auto* at = static_cast<const char*>(data);
    while (size > 0) {
        // A worker or a parent that has gone is told by the result, not by SIGPIPE.
        const ssize_t put = send(descriptor, at, size, MSG_NOSIGNAL);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        at += put;
        size -= std::size_t(put);
    }
    return true;
}

[[noreturn]] void serveTones(int descriptor) {
    for (;;) {
        quint32 size = 0;
        if (!readAll(descriptor, &size, sizeof size))
            _exit(0);
        std::string request(size, '\0');
        if (size < sizeof(qint32) || !readAll(descriptor, request.data(), size))
            _exit(1);
        qint32 seed = 0;
        std::memcpy(&seed, request.data(), sizeof seed);
        std::vector<std::string> arguments;
        for (std::size_t at = sizeof seed; at < request.size();) {
            const std::size_t end = request.find('\0', at);
            arguments.emplace_back(request, at, end - at);
            at = end + 1;
        }
        const LibsoxRun run = makeToneWithLibsox(arguments, seed);
        const qint32 status = run.status;
        const quint32 length = quint32(run.errorOutput.size());
        if (!writeAll(descriptor, &status, sizeof status) ||
            !writeAll(descriptor, &length, sizeof length) ||
            !writeAll(descriptor, run.errorOutput.data(), length))
            _exit(1);
    }
}

} // namespace

struct LibsoxEngine::Worker {
    pid_t pid = -1;
    int socket = -1;
    bool busy = false;

    bool alive() const { return pid > 0; }

    // Waits for the worker's end, which is ours to reap: its id cannot have passed to
    // another process before that. Gives how it ended, as a child's status.
    qint32 reaped() {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        close(socket);
        pid = -1;
        socket = -1;
        busy = false;
        return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    }
};

namespace {

class WorkerTone : public StartedTone {
public:
    explicit WorkerTone(LibsoxEngine::Worker& worker) : m_worker(worker) {}
    ~WorkerTone() override {
        if (!m_result)
            stop();
    }

    int endDescriptor() const override { return m_result ? -1 : m_worker.socket; }

    bool hasEnded() override {
        if (m_result)
            return true;
        pollfd reply{m_worker.socket, POLLIN, 0};
        if (poll(&reply, 1, 0) <= 0)
            return false;
        qint32 status = 0;
        quint32 length = 0;
        QByteArray errorOutput;
        if (readAll(m_worker.socket, &status, sizeof status) &&
            readAll(m_worker.socket, &length, sizeof length)) {
            errorOutput.resize(length);
            if (readAll(m_worker.socket, errorOutput.data(), length)) {
                m_worker.busy = false;
                m_result = ChildResult{status, QString::fromLocal8Bit(errorOutput)};
                return true;
            }
        }
        // The worker ended in the middle of the tone: a crash, or killed from outside.
        m_result = ChildResult{m_worker.reaped(), QString()};
        return true;
    }

    ChildResult result() const override { return m_result.value_or(ChildResult{}); }

    void stop() override {
        if (m_result)
            return;
        kill(m_worker.pid, SIGKILL);
        m_result = ChildResult{m_worker.reaped(), QString()};
    }

private:
    LibsoxEngine::Worker& m_worker;
    std::optional<ChildResult> m_result;
};

} // namespace

LibsoxEngine::LibsoxEngine(int workers) : m_workerLimit(std::max(1, workers)) {}

LibsoxEngine::~LibsoxEngine() {
    // Each idle worker ends when its socket closes.
    for (const std::unique_ptr<Worker>& worker : m_workers)
        if (worker->alive())
            shutdown(worker->socket, SHUT_WR);
    for (const std::unique_ptr<Worker>& worker : m_workers)
        if (worker->alive()) {
            if (worker->busy)
                kill(worker->pid, SIGKILL);
            worker->reaped();
        }
}

LibsoxEngine::Worker& LibsoxEngine::idleWorker() {
    for (const std::unique_ptr<Worker>& worker : m_workers)
        if (worker->alive() && !worker->busy)
            return *worker;
    Worker* fresh = nullptr;
    for (const std::unique_ptr<Worker>& worker : m_workers)
        if (!worker->alive())
            fresh = worker.get();
    if (!fresh) {
        if (int(m_workers.size()) >= m_workerLimit)
            throw Failure(QStringLiteral("No worker is free to make the tone."));
        m_workers.push_back(std::make_unique<Worker>());
        fresh = m_workers.back().get();
    }
    // Loaded once here, the library is shared by every worker forked after.
    initLibsox();
    int sockets[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0)
        throw Failure(QStringLiteral("No worker can be started: %1").arg(qt_error_string(errno)));
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        close(sockets[0]);
        close(sockets[1]);
        throw Failure(QStringLiteral("No worker can be started: %1").arg(qt_error_string(errno)));
    }
    if (pid == 0) {
        // The worker ends with the batch, and leaves stopping to it.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent)
            _exit(1);
        for (const int stopSignal : {SIGINT, SIGTERM, SIGHUP})
            std::signal(stopSignal, SIG_IGN);
        // The other workers' sockets must end when the batch closes them.
        for (const std::unique_ptr<Worker>& worker : m_workers)
            if (worker->alive())
                close(worker->socket);
        close(sockets[0]);
        serveTones(sockets[1]);
    }
    close(sockets[1]);
    fresh->pid = pid;
    fresh->socket = sockets[0];
    fresh->busy = false;
    return *fresh;
}

std::unique_ptr<StartedTone> LibsoxEngine::start(const PlannedTone& planned) {
    QByteArray request(sizeof(quint32), '\0');
    const qint32 seed = qint32(planned.seed);
    request.append(reinterpret_cast<const char*>(&seed), sizeof seed);
    for (const QString& argument : toolArguments(planned.tone))
        request.append(QFile::encodeName(argument)).append('\0');
    const quint32 size = quint32(request.size() - sizeof(quint32));
    std::memcpy(request.data(), &size, sizeof size);
    Worker& worker = idleWorker();
    worker.busy = true;
    auto started = std::make_unique<WorkerTone>(worker);
    // A worker that has gone is told as the tone's end.
    writeAll(worker.socket, request.constData(), std::size_t(request.size()));
    return started;
}
