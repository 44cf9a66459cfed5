// SPDX-License-Identifier: GPL-3.0-or-later
#include "sound/TimedPlayback.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QMediaDevices>
#include <QTimer>
#include <algorithm>
#include <cstring>

namespace {

using namespace std::chrono_literals;

// How long the start is taken from the earliest time seen: long enough to see the output
// take frames many times.
constexpr auto settling = 2s;
// When every time seen in the last second is later than the start by this much, the output
// stopped a while (it opened late, or ran dry, or its clock drifted): the start is taken anew.
constexpr auto recently = 1s;
constexpr auto slip = 20ms;

} // namespace

void OutputClock::observe(Time now, qint64 frames) {
    const auto start =
        now.time_since_epoch() - std::chrono::nanoseconds(frames * 1'000'000'000 / m_rate);
    m_recent.push_back({now, start});
    while (m_recent.front().at < now - recently)
        m_recent.pop_front();
    const auto recentStart =
        std::min_element(m_recent.begin(), m_recent.end(), [](const Sample& a, const Sample& b) {
            return a.start < b.start;
        })->start;
    if (!m_start || (now - m_startFrom > settling && recentStart > *m_start + slip)) {
        m_start = recentStart;
        m_startFrom = now;
    } else if (now - m_startFrom <= settling) {
        m_start = std::min(*m_start, start);
    }
}

std::optional<qint64> OutputClock::frameAt(Time when) const {
    if (!m_start)
        return std::nullopt;
    return (when.time_since_epoch() - *m_start).count() * m_rate / 1'000'000'000;
}

PlacedSoundStream::PlacedSoundStream(const QAudioFormat& format)
    : m_frameBytes(std::max(1, format.bytesPerFrame())), m_silentFrame(m_frameBytes, 0) {
    for (int channel = 0; channel < format.channelCount(); ++channel)
        writeOutputSample(0.0f, format.sampleFormat(),
                          m_silentFrame.data() + channel * format.bytesPerSample());
}

void PlacedSoundStream::place(std::unique_ptr<OutputStream> sound, qint64 first) {
    m_sound = std::move(sound);
    m_sound->open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    m_soundFirst = first;
}

qint64 PlacedSoundStream::readData(char* data, qint64 maxSize) {
    const qint64 end = m_framesRead + maxSize / m_frameBytes;
    char* write = data;
    while (m_framesRead < end) {
        if (m_sound && m_framesRead >= m_soundFirst) {
            const qint64 read = m_sound->read(write, (end - m_framesRead) * m_frameBytes);
            if (read <= 0) {
                m_sound.reset(); // it has ended: silence again
                continue;
            }
            m_framesRead += read / m_frameBytes;
            write += read;
            continue;
        }
        for (const qint64 silentEnd = m_sound ? std::min(end, m_soundFirst) : end;
             m_framesRead < silentEnd; ++m_framesRead, write += m_frameBytes)
            std::memcpy(write, m_silentFrame.constData(), size_t(m_frameBytes));
    }
    return write - data;
}

// The output, its stream and its clock, in the player's thread.
class TimedFeeder : public QObject {
public:
    bool open() {
        const QAudioDevice device = QMediaDevices::defaultAudioOutput();
        if (device.isNull())
            return false;
        m_format = device.preferredFormat();
        if (!m_format.isValid())
            return false;
        m_stream = std::make_unique<PlacedSoundStream>(m_format);
        m_stream->open(QIODevice::ReadOnly | QIODevice::Unbuffered);
        m_clock = std::make_unique<OutputClock>(m_format.sampleRate());
        m_sink = std::make_unique<QAudioSink>(device, m_format);
        m_output = m_sink->start();
        if (m_sink->error() != QAudio::NoError || !m_output)
            return false;
        // Often, so that what the output has taken is seen soon after it takes it.
        m_feeder.setTimerType(Qt::PreciseTimer);
        m_feeder.setInterval(5);
        connect(&m_feeder, &QTimer::timeout, this, [this] { feed(); });
        m_feeder.start();
        feed();
        return true;
    }

    void place(std::unique_ptr<SampleReader> samples, OutputClock::Time when) {
        const std::optional<qint64> frame = m_clock->frameAt(when);
        m_stream->place(std::make_unique<OutputStream>(std::move(samples), m_format),
                        frame.value_or(0));
        feed();
    }

    void close() {
        m_feeder.stop();
        if (m_sink)
            m_sink->stop();
        m_sink.reset();
        m_output = nullptr;
    }

private:
    void feed() {
        const qint64 frameBytes = m_format.bytesPerFrame();
        const qint64 room = m_sink->bytesFree() / frameBytes * frameBytes;
        if (room > 0)
            m_output->write(m_stream->read(room));
        const qint64 waiting = (m_sink->bufferSize() - m_sink->bytesFree()) / frameBytes;
        m_clock->observe(std::chrono::steady_clock::now(), m_stream->framesRead() - waiting);
    }

    QAudioFormat m_format;
    std::unique_ptr<PlacedSoundStream> m_stream;
    std::unique_ptr<OutputClock> m_clock;
    std::unique_ptr<QAudioSink> m_sink;
    QIODevice* m_output = nullptr; // owned by the sink
    QTimer m_feeder{this};         // a child, so that it moves to the player's thread too
};

TimedPlayer::TimedPlayer() = default;

TimedPlayer::~TimedPlayer() {
    stop();
}

bool TimedPlayer::play(std::unique_ptr<SampleReader> samples, OutputClock::Time when) {
    if (!m_feeder) {
        m_thread.start();
        m_feeder = new TimedFeeder;
        m_feeder->moveToThread(&m_thread);
        bool opened = false;
        QMetaObject::invokeMethod(
            m_feeder, [&] { opened = m_feeder->open(); }, Qt::BlockingQueuedConnection);
        if (!opened) {
            stop();
            return false;
        }
    }
    QMetaObject::invokeMethod(
        m_feeder, [&] { m_feeder->place(std::move(samples), when); }, Qt::BlockingQueuedConnection);
    return true;
}

void TimedPlayer::stop() {
    if (!m_feeder)
        return;
    QMetaObject::invokeMethod(
        m_feeder, [this] { m_feeder->close(); }, Qt::BlockingQueuedConnection);
    m_thread.quit();
    m_thread.wait();
    delete m_feeder;
    m_feeder = nullptr;
}
