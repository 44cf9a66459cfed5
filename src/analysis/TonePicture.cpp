// SPDX-License-Identifier: GPL-3.0-or-later
#include "analysis/TonePicture.h"

#include "analysis/WavFile.h"
#include "runner/Failure.h"
#include "runner/FileProbes.h"

#include <QFile>
#include <algorithm>
#include <cmath>
#include <kiss_fftr.h>
#include <memory>
#include <numbers>

namespace {

constexpr qint64 envelopeSlices = 600;
// A second and more at common rates: bins of a hertz or less, and quick to transform.
constexpr qint64 longestSpectrumFrames = 65536;
// Short tones are padded so that the strongest bin lies near the pitch before it is refined.
constexpr qint64 shortestTransform = 16384;
constexpr int shownPeriods = 4;
// What a picture reads at the most, whatever the header says: a tone file has one channel or
// two, and the envelope of a long file is read from part of each slice.
constexpr int mostChannels = 8;
constexpr qint64 mostEnvelopeFrames = qint64(1) << 22;
constexpr qint64 blockBytes = 1 << 20;

// `frames` frames from `first` on, all channels, anything that is no finite number read as
// silence; empty when they cannot be read.
std::vector<float> readFrames(QFile& file, const WavFileInfo& info, qint64 first, qint64 frames) {
    const WavLayout& layout = info.layout;
    if (!file.seek(layout.dataOffset + first * layout.frameBytes()))
        return {};
    const QByteArray bytes = file.read(frames * layout.frameBytes());
    if (bytes.size() != frames * layout.frameBytes())
        return {};
    std::vector<float> samples(std::size_t(frames * layout.channels));
    decodeFrames(bytes.constData(), frames, layout, samples.data());
    for (float& sample : samples)
        if (!std::isfinite(sample))
            sample = 0;
    return samples;
}

std::vector<float> firstChannelOf(const std::vector<float>& frames, int channels) {
    std::vector<float> first;
    first.reserve(frames.size() / std::size_t(channels));
    for (std::size_t at = 0; at < frames.size(); at += std::size_t(channels))
        first.push_back(frames[at]);
    return first;
}

// The loudest sample of each slice, read a block at a time: a file may last hours.
std::vector<float> envelopeOf(QFile& file, const WavFileInfo& info) {
    // A slice holds a period of the lowest pitches at least, so that it finds their peak.
    const qint64 slices =
        std::clamp<qint64>(info.frames * 100 / info.layout.sampleRate, 1, envelopeSlices);
    std::vector<float> envelope(std::size_t(slices), 0.0f);
    const qint64 framesAtOnce = std::max<qint64>(1, blockBytes / info.layout.frameBytes());
    // Each slice from its start, the whole of it while the file is short enough.
    const qint64 readPerSlice = std::max<qint64>(1, mostEnvelopeFrames / slices);
    for (qint64 slice = 0; slice < slices; ++slice) {
        const qint64 start = slice * info.frames / slices;
        const qint64 end = std::min((slice + 1) * info.frames / slices, start + readPerSlice);
        for (qint64 first = start; first < end; first += framesAtOnce) {
            const qint64 frames = std::min(framesAtOnce, end - first);
            const std::vector<float> samples = readFrames(file, info, first, frames);
            if (samples.empty())
                return {};
            float& loudest = envelope[std::size_t(slice)];
            for (const float sample : samples)
                loudest = std::max(loudest, std::abs(sample));
        }
    }
    return envelope;
}

struct Spectrum {
    std::vector<float> db;
    double binHz = 0;
    std::optional<double> peakHz;
};

// A Hann-windowed transform of the samples, padded; the strongest bin refined by the parabola
// through its neighbours' logarithms.
Spectrum spectrumOf(const std::vector<float>& samples, int sampleRate) {
    qint64 size = std::max<qint64>(shortestTransform, qint64(samples.size()));
    size += size % 2;
    const std::unique_ptr<std::remove_pointer_t<kiss_fftr_cfg>, decltype(&kiss_fftr_free)> plan(
        kiss_fftr_alloc(int(size), 0, nullptr, nullptr), &kiss_fftr_free);
    if (!plan)
        return {};
    std::vector<kiss_fft_scalar> windowed(std::size_t(size), 0.0f);
    const double n = double(samples.size());
    for (std::size_t at = 0; at < samples.size(); ++at)
        windowed[at] =
            float(samples[at] * (0.5 - 0.5 * std::cos(2 * std::numbers::pi * double(at) / n)));
    std::vector<kiss_fft_cpx> bins(std::size_t(size / 2 + 1));
    kiss_fftr(plan.get(), windowed.data(), bins.data());
    Spectrum spectrum;
    spectrum.binHz = double(sampleRate) / double(size);
    std::vector<double> power(bins.size());
    for (std::size_t k = 0; k < bins.size(); ++k)
        power[k] = double(bins[k].r) * bins[k].r + double(bins[k].i) * bins[k].i;
    const auto strongest = std::max_element(power.begin() + 1, power.end());
    const double top = *strongest;
    spectrum.db.reserve(power.size());
    for (const double p : power)
        spectrum.db.push_back(top > 0 ? float(10 * std::log10(std::max(p, top * 1e-12) / top))
                                      : -120.0f);
    if (top <= 0)
        return spectrum;
    const std::size_t k = std::size_t(strongest - power.begin());
    double offset = 0;
    if (k + 1 < power.size()) {
        const double left = std::log(std::max(power[k - 1], 1e-300));
        const double middle = std::log(power[k]);
        const double right = std::log(std::max(power[k + 1], 1e-300));
        const double bend = left - 2 * middle + right;
        if (bend < 0)
            offset = 0.5 * (left - right) / bend;
    }
    spectrum.peakHz = (double(k) + offset) * spectrum.binHz;
    return spectrum;
}

} // namespace

std::optional<TonePicture> readTonePicture(const QString& path) {
    QFile file(path);
    try {
        // A key's row may name a pipe or a device: only a regular file is read.
        openRegularFile(file, path);
    } catch (const Failure&) {
        return std::nullopt;
    }
    const std::optional<WavFileInfo> info = readWavFileInfo(file);
    if (!info || info->frames < 2 || info->layout.channels > mostChannels)
        return std::nullopt;
    const int rate = info->layout.sampleRate;
    const int channels = info->layout.channels;
    TonePicture picture;
    picture.sampleRate = rate;
    picture.seconds = double(info->frames) / rate;
    picture.envelope = envelopeOf(file, *info);

    // The middle of the file: past any fade, and the tone a sequence is named by is as likely
    // there as anywhere.
    const qint64 spectrumFrames = std::min(longestSpectrumFrames, info->frames);
    const qint64 spectrumStart = (info->frames - spectrumFrames) / 2;
    const std::vector<float> middle =
        firstChannelOf(readFrames(file, *info, spectrumStart, spectrumFrames), channels);
    if (picture.envelope.empty() || middle.empty())
        return std::nullopt;
    Spectrum spectrum = spectrumOf(middle, rate);
    picture.spectrumDb = std::move(spectrum.db);
    picture.binHz = spectrum.binHz;
    picture.pitchHz = spectrum.peakHz;

    qint64 shown = rate / 100;
    if (picture.pitchHz && *picture.pitchHz > 0)
        shown = qint64(std::ceil(shownPeriods * rate / *picture.pitchHz));
    shown = std::clamp<qint64>(shown, 2, std::min<qint64>(spectrumFrames, 4096));
    const auto from = middle.begin() + (spectrumFrames - shown) / 2;
    picture.periods.assign(from, from + shown);
    return picture;
}

bool readTonePictureInto(const char* utf8Path, TonePicture* picture) {
    std::optional<TonePicture> read = readTonePicture(QString::fromUtf8(utf8Path));
    if (read)
        *picture = std::move(*read);
    return read.has_value();
}
