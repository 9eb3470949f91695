#include "tools/kelo-render/AudioWriter.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <system_error>

#ifdef KELO_RENDER_HAVE_FLAC
#include <sndfile.h>
#endif

namespace kelo::render {

namespace {

constexpr int kChannels = 2;
constexpr uint64_t kWavLimit = 0xFFFFFFFFull; // RIFF sizes are 32-bit

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

bool AudioWriter::open(const std::string& target, int sampleRate, SampleFormat format, std::string& error) {
    abandon();
    target_ = target;
    scratch_ = target + ".kelo-render-part";
    format_ = format;
    sampleRate_ = sampleRate;
    failed_ = false;
    frames_ = clipped_ = 0;
    peak_ = 0.0f;
    if (std::filesystem::is_directory(std::filesystem::path(target))) {
        error = "cannot write " + target + ": it is a folder";
        return false;
    }
    if (isFlac(target)) {
#ifdef KELO_RENDER_HAVE_FLAC
        SF_INFO info{};
        info.samplerate = sampleRate;
        info.channels = kChannels;
        info.format = SF_FORMAT_FLAC | (format == SampleFormat::Pcm16 ? SF_FORMAT_PCM_16 : SF_FORMAT_PCM_24);
        SNDFILE* f = sf_open(scratch_.c_str(), SFM_WRITE, &info);
        if (!f) {
            error = "cannot write " + target + ": " + sf_strerror(nullptr);
            std::remove(scratch_.c_str());
            scratch_.clear();
            return false;
        }
        sndfile_ = f;
        return true;
#else
        error = "FLAC output is not available in this build";
        scratch_.clear();
        return false;
#endif
    }
    file_ = std::fopen(scratch_.c_str(), "wb");
    if (!file_) {
        error = "cannot write " + target + ": " + std::strerror(errno);
        scratch_.clear();
        return false;
    }
    // Sizes are filled in by commit(); a placeholder header keeps the data where it belongs.
    if (!writeWavHeader()) {
        error = "cannot write " + target;
        abandon();
        return false;
    }
    return true;
}

bool AudioWriter::writeWavHeader() {
    const uint64_t dataBytes = frames_ * kChannels * uint64_t(bytesPerSample(format_));
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
        put(h, uint32_t(frames_), 4);
    }
    tag(h, "data");
    put(h, uint32_t(dataBytes), 4);
    return std::fseek(file_, 0, SEEK_SET) == 0 && std::fwrite(h.data(), 1, h.size(), file_) == h.size();
}

bool AudioWriter::write(const float* left, const float* right, size_t frames) {
    if ((!file_ && !sndfile_) || failed_) return false;
    if (frames_ + frames > 0xFFFFFFFFull || (file_ && wavBytes(frames_ + frames, format_) > kWavLimit)) {
        failed_ = true;
        return false;
    }
    const float* channels[kChannels] = {left, right};
    const bool isFloat = format_ == SampleFormat::Float;
    const double scale = format_ == SampleFormat::Pcm16 ? 32767.0 : 8388607.0;
    ints_.resize(frames * kChannels);
    for (size_t i = 0; i < frames; ++i) {
        for (int c = 0; c < kChannels; ++c) {
            float x = channels[c][i];
            if (!std::isfinite(x)) x = 0.0f; // a broken sample must not poison the file
            const float a = std::fabs(x);
            if (a > peak_) peak_ = a;
            if (isFloat) {
                uint32_t bits;
                std::memcpy(&bits, &x, 4);
                ints_[i * kChannels + size_t(c)] = int32_t(bits);
                continue;
            }
            double v = x;
            if (v > 1.0 || v < -1.0) {
                ++clipped_;
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
        frames_ += frames;
        return true;
    }
#endif
    const int width = bytesPerSample(format_);
    bytes_.clear();
    for (int32_t s : ints_) put(bytes_, uint32_t(s), width);
    if (std::fwrite(bytes_.data(), 1, bytes_.size(), file_) != bytes_.size()) {
        failed_ = true;
        return false;
    }
    frames_ += frames;
    return true;
}

bool AudioWriter::commit(std::string& error) {
    bool ok = !failed_;
#ifdef KELO_RENDER_HAVE_FLAC
    if (sndfile_) {
        ok = sf_close(static_cast<SNDFILE*>(sndfile_)) == 0 && ok;
        sndfile_ = nullptr;
    }
#endif
    if (file_) {
        ok = writeWavHeader() && ok;
        ok = std::fflush(file_) == 0 && ok;
        ok = std::fclose(file_) == 0 && ok;
        file_ = nullptr;
    }
    if (!ok) {
        error = "cannot write " + target_ + " (disk full or file too large?)";
        abandon();
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(scratch_, target_, ec);
    if (ec && std::filesystem::exists(target_)) {
        // Some systems refuse to rename over an existing file.
        std::error_code removeError;
        std::filesystem::remove(target_, removeError);
        ec.clear();
        std::filesystem::rename(scratch_, target_, ec);
    }
    if (ec) {
        error = "cannot write " + target_ + ": " + ec.message();
        abandon();
        return false;
    }
    scratch_.clear();
    return true;
}

void AudioWriter::abandon() {
#ifdef KELO_RENDER_HAVE_FLAC
    if (sndfile_) sf_close(static_cast<SNDFILE*>(sndfile_));
#endif
    sndfile_ = nullptr;
    if (file_) std::fclose(file_);
    file_ = nullptr;
    if (!scratch_.empty()) std::remove(scratch_.c_str());
    scratch_.clear();
}

} // namespace kelo::render
