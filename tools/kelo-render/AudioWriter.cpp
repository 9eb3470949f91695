#include "tools/kelo-render/AudioWriter.h"

#include <cctype>
#include <cmath>
#include <cstring>

#ifdef KELO_RENDER_HAVE_FLAC
#include <sndfile.h>
#endif

namespace kelo::render {

namespace {

constexpr int kChannels = 2;
constexpr uint64_t kWavLimit = 0xFFFFFFFFull; // RIFF sizes are 32-bit
// Normalising to 0 dBFS puts the peak on full scale give or take the last bit of the gain:
// that is not clipping.
constexpr double kClipTolerance = 1e-9;

int bytesPerSample(SampleFormat f) { return f == SampleFormat::Pcm16 ? 2 : f == SampleFormat::Pcm24 ? 3 : 4; }
uint64_t headerBytes(SampleFormat f) { return f == SampleFormat::Float ? 58 : 44; }

void put(std::vector<uint8_t>& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
void tag(std::vector<uint8_t>& out, const char* t) { out.insert(out.end(), t, t + 4); }

bool isFlac(const std::string& path) {
    if (path.size() < 5) return false;
    std::string ext = path.substr(path.size() - 5);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".flac";
}

} // namespace

uint64_t AudioWriter::wavBytes(uint64_t frames, SampleFormat format) {
    return headerBytes(format) + frames * kChannels * uint64_t(bytesPerSample(format));
}

AudioWriter::~AudioWriter() { abandon(); }

bool AudioWriter::open(const std::string& target, int sampleRate, SampleFormat format, std::string& error,
                       std::optional<double> normalizeDb) {
    abandon();
    format_ = format;
    sampleRate_ = sampleRate;
    normalizeDb_ = normalizeDb;
    failed_ = false;
    frames_ = encoded_ = clipped_ = 0;
    peak_ = 0.0f;
    gain_ = 1.0;
    flac_ = isFlac(target);
    const bool flac = flac_;
#ifndef KELO_RENDER_HAVE_FLAC
    if (flac) {
        error = "FLAC output is not available in this build";
        return false;
    }
#endif
    if (!out_.begin(target) || (normalizeDb_ && !raw_.begin(target))) {
        error = out_.error().empty() ? raw_.error() : out_.error();
        abandon();
        return false;
    }
    open_ = true;
#ifdef KELO_RENDER_HAVE_FLAC
    if (flac) {
        SF_INFO info{};
        info.samplerate = sampleRate;
        info.channels = kChannels;
        info.format = SF_FORMAT_FLAC | (format == SampleFormat::Pcm16 ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_24);
        SNDFILE* f = sf_open(out_.scratchPath().c_str(), SFM_WRITE, &info);
        if (!f) {
            error = "cannot write " + target + ": " + sf_strerror(nullptr);
            abandon();
            return false;
        }
        sndfile_ = f;
        return true;
    }
#endif
    // Sizes are filled in by commit(); a placeholder header keeps the data where it belongs.
    if (!writeWavHeader()) {
        error = "cannot write " + target;
        abandon();
        return false;
    }
    return true;
}

bool AudioWriter::writeWavHeader() {
    const uint64_t dataBytes = encoded_ * kChannels * uint64_t(bytesPerSample(format_));
    const bool isFloat = format_ == SampleFormat::Float;
    const uint32_t blockAlign = uint32_t(kChannels * bytesPerSample(format_));
    std::vector<uint8_t> h;
    tag(h, "RIFF");
    put(h, uint32_t(headerBytes(format_) - 8 + dataBytes), 4);
    tag(h, "WAVE");
    tag(h, "fmt ");
    put(h, isFloat ? 18 : 16, 4);
    put(h, isFloat ? 3 : 1, 2); // IEEE float or integer PCM
    put(h, kChannels, 2);
    put(h, uint32_t(sampleRate_), 4);
    put(h, uint32_t(sampleRate_) * blockAlign, 4);
    put(h, blockAlign, 2);
    put(h, uint32_t(8 * bytesPerSample(format_)), 2);
    if (isFloat) {
        put(h, 0, 2);    // no extension bytes
        tag(h, "fact"); // required for non-PCM data
        put(h, 4, 4);
        put(h, uint32_t(encoded_), 4);
    }
    tag(h, "data");
    put(h, uint32_t(dataBytes), 4);
    return std::fseek(out_.file(), 0, SEEK_SET) == 0 && out_.write(h.data(), h.size());
}

bool AudioWriter::write(const float* left, const float* right, size_t frames) {
    if (!open_ || failed_) return false;
    if (frames_ + frames > 0xFFFFFFFFull || (!sndfile_ && wavBytes(frames_ + frames, format_) > kWavLimit)) {
        failed_ = true;
        return false;
    }
    for (size_t i = 0; i < frames; ++i) {
        for (float x : {left[i], right[i]}) {
            const float a = std::isfinite(x) ? std::fabs(x) : 0.0f;
            if (a > peak_) peak_ = a;
        }
    }
    frames_ += frames;
    if (!normalizeDb_) return encode(left, right, frames);
    rawFrames_.resize(frames * kChannels);
    for (size_t i = 0; i < frames; ++i) {
        rawFrames_[i * kChannels] = left[i];
        rawFrames_[i * kChannels + 1] = right[i];
    }
    if (!raw_.write(rawFrames_.data(), rawFrames_.size() * sizeof(float))) failed_ = true;
    return !failed_;
}

bool AudioWriter::encode(const float* left, const float* right, size_t frames) {
    const float* channels[kChannels] = {left, right};
    const bool isFloat = format_ == SampleFormat::Float;
    const double scale = format_ == SampleFormat::Pcm16 ? 32767.0 : 8388607.0;
    ints_.resize(frames * kChannels);
    for (size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < kChannels; ++c) {
            float x = channels[c][i];
            if (!std::isfinite(x)) x = 0.0f; // a broken sample must not poison the file
            if (isFloat) {
                const float y = gain_ == 1.0 ? x : float(double(x) * gain_);
                uint32_t bits;
                std::memcpy(&bits, &y, 4);
                ints_[i * kChannels + size_t(c)] = int32_t(bits);
                continue;
            }
            double v = double(x) * gain_;
            if (v > 1.0 || v < -1.0) {
                if (std::fabs(v) > 1.0 + kClipTolerance) ++clipped_;
                v = v > 0 ? 1.0 : -1.0;
            }
            ints_[i * kChannels + size_t(c)] = int32_t(std::lrint(v * scale));
        }
    }
#ifdef KELO_RENDER_HAVE_FLAC
    if (sndfile_) {
        // libsndfile takes integers left-justified in 32 bits.
        const int shift = format_ == SampleFormat::Pcm16 ? 16 : 8;
        for (int32_t& s : ints_) s = int32_t(uint32_t(s) << shift);
        if (sf_writef_int(static_cast<SNDFILE*>(sndfile_), ints_.data(), sf_count_t(frames)) != sf_count_t(frames)) {
            failed_ = true;
            return false;
        }
        encoded_ += frames;
        return true;
    }
#endif
    const int width = bytesPerSample(format_);
    bytes_.clear();
    for (int32_t s : ints_) put(bytes_, uint32_t(s), width);
    if (!out_.write(bytes_.data(), bytes_.size())) {
        failed_ = true;
        return false;
    }
    encoded_ += frames;
    return true;
}

// Second pass: the samples kept as given, scaled now that the peak is known.
bool AudioWriter::normalizeInto(std::string& error) {
    if (std::fflush(raw_.file()) != 0) return false;
    // A silent render stays silent rather than becoming noise.
    if (peak_ > 0.0f) gain_ = std::pow(10.0, *normalizeDb_ / 20.0) / double(peak_);
    std::FILE* in = std::fopen(raw_.scratchPath().c_str(), "rb");
    if (!in) {
        error = "cannot read back " + raw_.scratchPath();
        return false;
    }
    constexpr size_t kChunkFrames = 8192;
    std::vector<float> block(kChunkFrames * kChannels), left(kChunkFrames), right(kChunkFrames);
    uint64_t framesLeft = frames_;
    bool ok = true;
    while (ok && framesLeft > 0) {
        const size_t n = size_t(framesLeft < kChunkFrames ? framesLeft : kChunkFrames);
        if (std::fread(block.data(), sizeof(float) * kChannels, n, in) != n) {
            ok = false;
            break;
        }
        for (size_t i = 0; i < n; ++i) {
            left[i] = block[i * kChannels];
            right[i] = block[i * kChannels + 1];
        }
        ok = encode(left.data(), right.data(), n);
        framesLeft -= n;
    }
    std::fclose(in);
    raw_.abandon();
    return ok;
}

bool AudioWriter::commit(std::string& error) {
    bool ok = open_ && !failed_;
    if (ok && normalizeDb_) ok = normalizeInto(error) && ok;
#ifdef KELO_RENDER_HAVE_FLAC
    if (sndfile_) {
        ok = sf_close(static_cast<SNDFILE*>(sndfile_)) == 0 && ok;
        sndfile_ = nullptr;
    }
#endif
    if (ok && !flac_) ok = writeWavHeader();
    if (ok) ok = out_.commit();
    if (!ok) {
        if (error.empty()) {
            error = out_.error().empty() ? "cannot write " + out_.targetPath() + " (disk full or file too large?)"
                                         : out_.error();
        }
        abandon();
        return false;
    }
    open_ = false;
    return true;
}

void AudioWriter::abandon() {
#ifdef KELO_RENDER_HAVE_FLAC
    if (sndfile_) sf_close(static_cast<SNDFILE*>(sndfile_));
#endif
    sndfile_ = nullptr;
    out_.abandon();
    raw_.abandon();
    open_ = false;
}

} // namespace kelo::render
