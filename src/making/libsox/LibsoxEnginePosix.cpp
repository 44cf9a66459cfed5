// SPDX-License-Identifier: GPL-3.0-or-later
#include "making/libsox/LibsoxEngine.h"

#include "making/ToneJudge.h"
#include "making/libsox/LibsoxTone.h"
#include "runner/Failure.h"
#include "tone/ToneCommand.h"

#include <QFile>
#include <cmath>
#include <csignal>
#include <cstring>
#include <deque>
#include <functional>
#include <optional>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

// A request is its size, the seed, the sample rate and the seconds of the tone and the RMS
// level its noise must reach, then its file's path and the tool's arguments, each ended by a zero
// byte. A reply is the tone's outcome, judged by the worker from the file it has just written:
// made, the size of the reason and the reason.

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

// The program reasons name as the maker.
const QString libraryName = QStringLiteral("libsox");

struct ToneRequest {
    qint32 seed;
    qint32 sampleRate;
    double seconds;
    // What the file's peak must be (PeakRule): checked when `peakExpected`, else only that it
    // sounds.
    qint32 peakExpected;
    double expectedPeakDb;
    double peakBelowDb;
    double peakAboveDb;
    double roundingPeak;
    // For noise at an RMS level: the level and the gain its arguments give each of the file's
    // tones.
    qint32 levelled;
    double rmsLevelDb;
    double gainDb;
    // For a tone in noise: the tone's RMS above the noise's, in dB.
    qint32 masked;
    double snrDb;
    // The noise alone: the tone is measured for the noise's share, then left out.
    qint32 noiseAlone;
};

struct ToneReply {
    quint32 made;
    quint32 reasonSize;
};

// The peak of a file the library wrote in another format than WAV, read by the library.
std::optional<double> filePeakDb(const QString& path) {
    const std::optional<SoundLevels> levels = measuredLevels(QFile::encodeName(path).toStdString());
    return levels ? std::optional(levels->peakDb) : std::nullopt;
}

// A peak this close to full scale is a clipped one: the largest 24-bit sample lies 1e-6 dB
// below it.
constexpr double clippedPeakDb = -1e-4;

// An ear's weights in a tone in noise's mix: "1v<noise>,2v<first sine>,...", in each of its
// chains; a binaural condition's right ear follows its left, its noise inverted ("1v-1") or its
// own ("2v1"). The noise's weight is 1 as the tone's arguments come.
bool isMaskerWeights(const std::string& argument) {
    return (argument.rfind("1v", 0) == 0 || argument.rfind("2v", 0) == 0) &&
           argument.find(',') != std::string::npos;
}

// Rewrites each ear's weights of the mix, in every chain.
void rewriteMaskerWeights(std::vector<std::string>& arguments,
                          const std::function<std::string(const std::string&)>& rewrite) {
    for (std::size_t at = 1; at < arguments.size(); ++at)
        if (arguments[at - 1] == "remix")
            for (std::size_t ear = at; ear < arguments.size() && isMaskerWeights(arguments[ear]);
                 ++ear)
                arguments[ear] = rewrite(arguments[ear]);
}

// Weighs every sine of the mix 0, leaving its noise.
void silenceSines(std::vector<std::string>& arguments) {
    rewriteMaskerWeights(arguments, [](const std::string& weights) {
        std::string silenced = weights.substr(0, weights.find(','));
        for (std::size_t comma = weights.find(','); comma != std::string::npos;
             comma = weights.find(',', comma + 1))
            silenced += weights.substr(comma, weights.find('v', comma) - comma) + "v0";
        return silenced;
    });
}

// Sets the noise's weight in the mix, or leaves the noise alone in it at weight 1.
void setMaskerShare(std::vector<std::string>& arguments, std::optional<double> share) {
    rewriteMaskerWeights(arguments, [share](const std::string& weights) {
        const std::string noise = weights.substr(0, weights.find('v') + 1);
        const std::string sign = weights.compare(noise.size(), 1, "-") == 0 ? "-" : "";
        return share ? noise + sign + QString::number(*share, 'g', 17).toStdString() +
                           weights.substr(weights.find(','))
                     : noise + sign + "1";
    });
}

// The noise's share that puts it the SNR below the tone: the tone and the noise are each made
// alone, from the same seed, and measured over the file.
std::optional<double> maskerShare(const ToneRequest& tone, const std::string& pathBytes,
                                  std::vector<std::string> arguments) {
    const auto rmsOf = [&](std::optional<double> share) -> std::optional<double> {
        setMaskerShare(arguments, share);
        if (makeToneWithLibsox(arguments, tone.seed).status != 0)
            return std::nullopt;
        const std::optional<SoundLevels> levels = measuredLevels(pathBytes);
        return levels && std::isfinite(levels->rmsDb) ? std::optional(levels->rmsDb) : std::nullopt;
    };
    const std::optional<double> toneDb = rmsOf(0.0);
    const std::optional<double> noiseDb = rmsOf(std::nullopt);
    if (!toneDb || !noiseDb)
        return std::nullopt;
    // The noise's RMS at weight 1, moved to the SNR below the tone's.
    return std::pow(10.0, (*toneDb - *noiseDb - tone.snrDb) / 20);
}

// Makes the tone and judges it from its file. Noise at an RMS level is then measured and made
// again from the same seed, the same noise, with its gain moved by what it missed: a WAV file
// is within a hundredth of a dB at the second making. An MP3 file's encoder answers a step of
// gain with a different one, at 8000 Hz at times with a jump of half a dB, so the best of a
// few makings stands.
ToneOutcome madeAtItsLevel(const ToneRequest& tone, const std::string& pathBytes,
                           std::vector<std::string>& arguments) {
    const QString path = QFile::decodeName(pathBytes.c_str());
    double gain = tone.gainDb;
    const auto madeAt = [&](double gainDb) {
        gain = gainDb;
        if (tone.levelled)
            for (std::size_t at = 0; at + 1 < arguments.size(); ++at)
                if (arguments[at] == "gain")
                    arguments[at + 1] = QString::number(gainDb).toStdString();
        const LibsoxRun run = makeToneWithLibsox(arguments, tone.seed);
        const PeakRule rule{tone.peakExpected ? std::optional(tone.expectedPeakDb) : std::nullopt,
                            tone.peakBelowDb, tone.peakAboveDb, tone.roundingPeak};
        return judgedTone({{run.status, QString::fromLocal8Bit(run.errorOutput)},
                           libraryName,
                           tone.seconds,
                           tone.sampleRate,
                           rule},
                          path, filePeakDb);
    };
    if (tone.masked) {
        const std::optional<double> share = maskerShare(tone, pathBytes, arguments);
        if (!share)
            return {false, QStringLiteral("%1 could not be measured.").arg(path)};
        setMaskerShare(arguments, *share);
        if (tone.noiseAlone)
            silenceSines(arguments);
        // The mix's peak is known only once made: a clipped one is not the tone asked for.
        const ToneOutcome outcome = madeAt(gain);
        const std::optional<SoundLevels> levels = measuredLevels(pathBytes);
        if (outcome.made && levels && levels->peakDb > clippedPeakDb)
            return {false, QStringLiteral("In its noise at an SNR of %1 dB this tone's peak would "
                                          "pass 0 dBFS: lower the level.")
                               .arg(tone.snrDb)};
        return outcome;
    }
    ToneOutcome outcome = madeAt(gain);
    constexpr int makings = 8;
    double bestGain = gain;
    double bestMiss = HUGE_VAL;
    std::optional<std::pair<double, double>> below; // a gain and what it missed
    std::optional<std::pair<double, double>> above;
    for (int making = 1; outcome.made && tone.levelled; ++making) {
        const std::optional<SoundLevels> levels = measuredLevels(pathBytes);
        if (!levels || !std::isfinite(levels->rmsDb))
            return {false, QStringLiteral("%1 could not be measured.").arg(path)};
        const double missing = tone.rmsLevelDb - levels->rmsDb;
        if (std::abs(missing) < bestMiss) {
            bestMiss = std::abs(missing);
            bestGain = gain;
        }
        if (bestMiss < 0.02 || making == makings) {
            if (gain != bestGain)
                outcome = madeAt(bestGain);
            break;
        }
        if (levels->peakDb + missing > 0)
            return {false, QStringLiteral("At an RMS level of %1 dBFS this noise's peak would "
                                          "pass 0 dBFS.")
                               .arg(tone.rmsLevelDb)};
        // Once one making fell short and another went past, the next lies between them.
        (missing > 0 ? below : above) = {gain, missing};
        const double next = below && above
                                ? (below->first * -above->second + above->first * below->second) /
                                      (below->second - above->second)
                                : gain + missing;
        outcome = madeAt(next);
    }
    return outcome;
}

// Makes the tones asked for, one after another, and judges each as the batch would. Replies
// wait while more tones are asked for, up to `repliesAtOnce`, so that the batch is woken once
// for several; never while the worker would wait.
[[noreturn]] void serveTones(int descriptor, int repliesAtOnce) {
    std::string replies;
    int held = 0;
    for (;;) {
        pollfd asked{descriptor, POLLIN, 0};
        if (held >= repliesAtOnce || (held > 0 && poll(&asked, 1, 0) <= 0)) {
            if (!writeAll(descriptor, replies.data(), replies.size()))
                _exit(1);
            replies.clear();
            held = 0;
        }
        quint32 size = 0;
        if (!readAll(descriptor, &size, sizeof size))
            _exit(0);
        std::string request(size, '\0');
        ToneRequest tone{};
        if (size < sizeof tone || !readAll(descriptor, request.data(), size))
            _exit(1);
        std::memcpy(&tone, request.data(), sizeof tone);
        std::vector<std::string> words;
        for (std::size_t at = sizeof tone; at < request.size();) {
            const std::size_t end = request.find('\0', at);
            words.emplace_back(request, at, end - at);
            at = end + 1;
        }
        const std::string pathBytes = words.front();
        words.erase(words.begin());
        const ToneOutcome outcome = madeAtItsLevel(tone, pathBytes, words);
        const QByteArray reason = outcome.reason.toUtf8();
        const ToneReply reply{outcome.made, quint32(reason.size())};
        replies.append(reinterpret_cast<const char*>(&reply), sizeof reply);
        replies.append(reason.constData(), std::size_t(reason.size()));
        ++held;
    }
}

} // namespace

// A tone sent to a worker, and what became of it: nothing until its reply or the worker's end.
struct SentTone {
    QString path;
    double seconds;
    int sampleRate;
    std::optional<ToneOutcome> outcome;
};
using ToneSlot = std::shared_ptr<SentTone>;

struct LibsoxEngine::Worker {
    pid_t pid = -1;
    int socket = -1;
    // The tones sent and not yet answered, in the order the worker makes them.
    std::deque<ToneSlot> waiting;
    // Replies read and not yet whole.
    QByteArray received;

    bool alive() const { return pid > 0; }

    // Takes in every reply there is, without waiting.
    void collectReplies() {
        pollfd readable{socket, POLLIN, 0};
        if (!alive() || waiting.empty() || poll(&readable, 1, 0) <= 0)
            return;
        char bytes[1 << 16];
        const ssize_t got = read(socket, bytes, sizeof bytes);
        if (got <= 0) {
            if (got < 0 && errno == EINTR)
                return;
            // The worker ended in the middle of a tone: a crash, or killed from outside.
            reap();
            return;
        }
        received.append(bytes, got);
        // Each whole reply ends the first tone waiting.
        qsizetype at = 0;
        for (ToneReply reply{};
             !waiting.empty() && received.size() - at >= qsizetype(sizeof reply);) {
            std::memcpy(&reply, received.constData() + at, sizeof reply);
            const qsizetype size = qsizetype(sizeof reply) + qsizetype(reply.reasonSize);
            if (received.size() - at < size)
                break;
            waiting.front()->outcome = ToneOutcome{
                reply.made != 0,
                QString::fromUtf8(received.constData() + at + sizeof reply, reply.reasonSize)};
            waiting.pop_front();
            at += size;
        }
        received.remove(0, at);
    }

    // Ends the worker and every tone it was given.
    void stop() {
        kill(pid, SIGKILL);
        reap();
    }

    // Waits for the worker's end, which is ours to reap: its id cannot have passed to
    // another process before that. The tones it was given end as it did.
    void reap() {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        close(socket);
        pid = -1;
        socket = -1;
        received.clear();
        const ChildResult ended{WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status),
                                QString()};
        for (const ToneSlot& tone : waiting)
            tone->outcome =
                judgedTone({ended, libraryName, tone->seconds, tone->sampleRate}, tone->path);
        waiting.clear();
    }
};

namespace {

class WorkerTone : public StartedTone {
public:
    WorkerTone(LibsoxEngine::Worker& worker, ToneSlot slot)
        : m_worker(worker), m_slot(std::move(slot)) {}
    ~WorkerTone() override { stop(); }

    int endDescriptor() const override { return m_slot->outcome ? -1 : m_worker.socket; }

    bool hasEnded() override {
        // Replies come in order: only the first tone waiting asks for them.
        if (!m_slot->outcome && m_worker.waiting.front() == m_slot)
            m_worker.collectReplies();
        return m_slot->outcome.has_value();
    }

    ToneOutcome outcome() const override { return m_slot->outcome.value_or(ToneOutcome{}); }

    void stop() override {
        if (!m_slot->outcome)
            m_worker.stop();
    }

private:
    LibsoxEngine::Worker& m_worker;
    ToneSlot m_slot;
};

} // namespace

LibsoxEngine::LibsoxEngine(int workers) : m_workerLimit(std::max(1, workers)) {}

LibsoxEngine::~LibsoxEngine() {
    // A worker with nothing left to make ends when its socket closes.
    for (const std::unique_ptr<Worker>& worker : m_workers)
        if (worker->alive())
            shutdown(worker->socket, SHUT_WR);
    for (const std::unique_ptr<Worker>& worker : m_workers)
        if (worker->alive()) {
            if (!worker->waiting.empty())
                kill(worker->pid, SIGKILL);
            worker->reap();
        }
}

int LibsoxEngine::tonesUnderWay(int jobs) const {
    return jobs * queuedPerWorker;
}

LibsoxEngine::Worker& LibsoxEngine::readyWorker() {
    Worker* chosen = nullptr;
    int alive = 0;
    for (const std::unique_ptr<Worker>& worker : m_workers)
        if (worker->alive()) {
            ++alive;
            if (!chosen || worker->waiting.size() < chosen->waiting.size())
                chosen = worker.get();
        }
    if (chosen && (chosen->waiting.empty() || alive >= m_workerLimit))
        return *chosen;
    Worker* fresh = nullptr;
    for (const std::unique_ptr<Worker>& worker : m_workers)
        if (!worker->alive())
            fresh = worker.get();
    if (!fresh) {
        m_workers.push_back(std::make_unique<Worker>());
        fresh = m_workers.back().get();
    }
    // Loaded once here, the library is shared by every worker forked after.
    initLibsox();
    // Where no more processes may be started, the workers there make every tone.
    const auto noWorker = [&](int error) -> Worker& {
        if (chosen) {
            m_workerLimit = alive;
            return *chosen;
        }
        throw Failure(QStringLiteral("No worker can be started: %1").arg(qt_error_string(error)));
    };
    int sockets[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0)
        return noWorker(errno);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid < 0) {
        const int error = errno;
        close(sockets[0]);
        close(sockets[1]);
        return noWorker(error);
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
        serveTones(sockets[1], queuedPerWorker / 2);
    }
    close(sockets[1]);
    fresh->pid = pid;
    fresh->socket = sockets[0];
    return *fresh;
}

std::unique_ptr<StartedTone> LibsoxEngine::start(const Tone& tone, double seconds) {
    // The library's generator takes 32 bits: the seed's low ones.
    const QStringList arguments = toolArguments(tone);
    const PeakRule peak = peakRule(tone);
    const ToneRequest fixed{qint32(quint32(tone.seed.value_or(0))),
                            tone.sampleRate(),
                            seconds,
                            peak.expectedDb.has_value(),
                            peak.expectedDb.value_or(0),
                            peak.belowDb,
                            peak.aboveDb,
                            peak.roundingPeak,
                            tone.isNoiseAtRmsLevel(),
                            tone.options.levelDb,
                            tone.gainDb().value_or(0),
                            tone.isInNoise(),
                            tone.options.snrDb,
                            tone.isInNoise() && tone.options.noiseAlone};
    QByteArray request(sizeof(quint32), '\0');
    request.append(reinterpret_cast<const char*>(&fixed), sizeof fixed);
    for (const QString& word : QStringList{tone.outputPath} + arguments)
        request.append(QFile::encodeName(word)).append('\0');
    const quint32 size = quint32(request.size() - qsizetype(sizeof size));
    std::memcpy(request.data(), &size, sizeof size);
    Worker& worker = readyWorker();
    auto slot =
        std::make_shared<SentTone>(SentTone{tone.outputPath, seconds, tone.sampleRate(), {}});
    worker.waiting.push_back(slot);
    // A worker that has gone is told as the tone's end.
    writeAll(worker.socket, request.constData(), std::size_t(request.size()));
    return std::make_unique<WorkerTone>(worker, std::move(slot));
}
