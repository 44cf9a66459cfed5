// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "SoundFiles.h"
#include "TestSupport.h"

#include <QFile>
#include <cmath>
#include <complex>
#include <numbers>
#include <vector>

// The first channel of a WAV file; empty when it cannot be read.
inline std::vector<double> firstChannel(const QString& path, int& sampleRate) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const std::optional<SoundSamples> sound = decodeWav(file.readAll());
    if (!sound)
        return {};
    sampleRate = sound->sampleRate;
    std::vector<double> mono;
    for (size_t i = 0; i < sound->samples.size(); i += size_t(sound->channels))
        mono.push_back(sound->samples[i]);
    return mono;
}

// The radix-2 FFT of the samples, in place; their number is a power of 2.
inline std::vector<std::complex<double>> fft(const std::vector<double>& samples) {
    const size_t n = samples.size();
    std::vector<std::complex<double>> bins(samples.begin(), samples.end());
    for (size_t i = 1, j = 0; i < n; ++i) {
        size_t bit = n >> 1;
        for (; j & bit; bit >>= 1)
            j ^= bit;
        j ^= bit;
        if (i < j)
            std::swap(bins[i], bins[j]);
    }
    for (size_t length = 2; length <= n; length <<= 1) {
        const std::complex<double> step = std::polar(1.0, -2 * std::numbers::pi / double(length));
        for (size_t start = 0; start < n; start += length) {
            std::complex<double> turn = 1;
            for (size_t k = 0; k < length / 2; ++k, turn *= step) {
                const std::complex<double> even = bins[start + k];
                const std::complex<double> odd = bins[start + k + length / 2] * turn;
                bins[start + k] = even + odd;
                bins[start + k + length / 2] = even - odd;
            }
        }
    }
    return bins;
}

// The share of a WAV file's power (first channel) that lies between the frequencies.
inline double powerShareBetween(const QString& path, double low, double high) {
    int rate = 0;
    std::vector<double> samples = firstChannel(path, rate);
    size_t n = 1;
    while (n * 2 <= samples.size())
        n *= 2;
    samples.resize(n);
    const std::vector<std::complex<double>> bins = fft(samples);
    double inside = 0;
    double all = 0;
    for (size_t k = 1; k < n / 2; ++k) {
        const double power = std::norm(bins[k]);
        const double hz = double(k) * rate / double(n);
        all += power;
        if (hz >= low && hz <= high)
            inside += power;
    }
    return all > 0 ? inside / all : 0;
}

// The frequency at which samples are strongest, found by a test's own means: a Hann-windowed
// FFT finds the strongest bin, and the window's spectrum evaluated directly around it
// finds the peak to a hundredth of a bin. -1 when there is no sound.
inline double mainFrequencyOf(const std::vector<double>& mono, int sampleRate) {
    if (mono.empty())
        return -1;
    size_t n = 1;
    while (n * 2 <= mono.size())
        n *= 2;
    std::vector<double> windowed(n);
    for (size_t i = 0; i < n; ++i)
        windowed[i] =
            mono[i] * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(i) / double(n)));

    const std::vector<std::complex<double>> bins = fft(windowed);
    size_t peak = 1;
    for (size_t k = 1; k < n / 2; ++k)
        if (std::abs(bins[k]) > std::abs(bins[peak]))
            peak = k;

    const double binHz = double(sampleRate) / double(n);
    const auto magnitudeAt = [&](double hz) {
        std::complex<double> sum = 0;
        for (size_t i = 0; i < n; ++i)
            sum += windowed[i] *
                   std::polar(1.0, -2 * std::numbers::pi * hz * double(i) / double(sampleRate));
        return std::abs(sum);
    };
    double best = double(peak) * binHz;
    double bestMagnitude = magnitudeAt(best);
    for (int step = -100; step <= 100; ++step) {
        const double hz = (double(peak) + step / 100.0) * binHz;
        if (const double magnitude = magnitudeAt(hz); magnitude > bestMagnitude) {
            best = hz;
            bestMagnitude = magnitude;
        }
    }
    return best;
}

inline double mainFrequency(const QString& path) {
    int sampleRate = 0;
    const std::vector<double> mono = firstChannel(path, sampleRate);
    return mainFrequencyOf(mono, sampleRate);
}

// The main frequency of the stretch of a file from `start` to `end`, as parts of its length.
inline double mainFrequencyBetween(const QString& path, double start, double end) {
    int sampleRate = 0;
    const std::vector<double> mono = firstChannel(path, sampleRate);
    return mainFrequencyOf({mono.begin() + qsizetype(start * double(mono.size())),
                            mono.begin() + qsizetype(end * double(mono.size()))},
                           sampleRate);
}

// The amplitude of the sine at `hertz` in samples of whole periods of it.
inline double amplitudeAt(const std::vector<double>& samples, double hertz, double rate) {
    std::complex<double> sum;
    for (size_t at = 0; at < samples.size(); ++at)
        sum += samples[at] * std::polar(1.0, -2 * std::numbers::pi * hertz * double(at) / rate);
    return 2 * std::abs(sum) / double(samples.size());
}

inline double rmsOf(const std::vector<double>& samples) {
    double power = 0;
    for (const double sample : samples)
        power += sample * sample;
    return std::sqrt(power / double(samples.size()));
}

// The interleaved samples of a made WAV file.
inline SoundSamples madeSound(const QString& path) {
    const std::optional<SoundSamples> sound = decodeWav(TestSupport::contentOf(path));
    return sound.value_or(SoundSamples{});
}
