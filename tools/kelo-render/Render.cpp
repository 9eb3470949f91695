#include "tools/kelo-render/Render.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string_view>
#include <vector>

#include "files/EngineSettings.h"
#include "files/ParameterFile.h"
#include "files/PatternFile.h"
#include "host/Plugin.h"
#include "plugin/StateChunk.h"
#include "sequencer/MidiBytes.h"
#include "tools/kelo-render/AudioWriter.h"
#include "tools/kelo-render/MidiFile.h"

namespace kelo::render {

namespace {

namespace fs = std::filesystem;

using midi::kAllNotesOff;
using midi::kControlChange;
using midi::kNoteOff;
using midi::kNoteOn;
constexpr uint8_t kPatternVelocity = 100;

// The pattern reader takes any text (a line it cannot use ends a block), so a wrong file would
// quietly load as one odd pattern: ask for a meta line or at least one real step line
// ("a-2 1 0 1": note name, octave digit, then three flags of 0 or 1).
bool isStepLine(std::string_view line) {
    while (!line.empty() && (line.front() == ' ' || line.front() == '\t')) line.remove_prefix(1);
    if (line.size() < 3 || std::tolower(static_cast<unsigned char>(line[0])) < 'a' ||
        std::tolower(static_cast<unsigned char>(line[0])) > 'g' || (line[1] != '-' && line[1] != '#') ||
        !std::isdigit(static_cast<unsigned char>(line[2])))
        return false;
    int flags = 0;
    for (size_t i = 3; i < line.size(); ++i) {
        const char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') continue;
        const bool separated = line[i - 1] == ' ' || line[i - 1] == '\t';
        if ((c != '0' && c != '1') || !separated || ++flags > 3) return false;
    }
    return flags == 3;
}

bool looksLikePatternText(const std::string& text) {
    if (text.find("KELO Meta tag:") != std::string::npos) return true;
    for (size_t pos = 0; pos < text.size();) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        if (isStepLine(std::string_view(text).substr(pos, end - pos))) return true;
        pos = end + 1;
    }
    return false;
}

// Far beyond any real bank, pattern or MIDI file: refuses to pull a huge wrong file into memory.
constexpr uintmax_t kMaxInputBytes = 64u << 20;

bool readWholeFile(const std::string& path, std::string& text) {
    std::error_code ec;
    if (fs::is_directory(fs::path(path), ec)) return false;
    const uintmax_t size = fs::file_size(fs::path(path), ec);
    if (!ec && size > kMaxInputBytes) return false;
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// Collects what a pattern file's companion file and parameter lines set, so the values can
// go to the plug-in after its state has been restored (restoring overwrites every slot).
class CollectedParameters : public ParameterWriter {
public:
    explicit CollectedParameters(host::Plugin& plugin) {
        for (int i = 0; i < kNumParameters; ++i) values_[i] = plugin.getParameter(i);
    }
    void setParameter(int index, float value) override {
        if (index < 0 || index >= kNumParameters) return;
        values_[index] = value;
        set_[index] = true;
    }
    float getParameter(int index) const override {
        return index >= 0 && index < kNumParameters ? values_[index] : 0.0f;
    }
    void applyTo(host::Plugin& plugin) const {
        for (int i = 0; i < kNumParameters; ++i)
            if (set_[i]) plugin.setParameter(i, values_[i]);
    }

private:
    float values_[kNumParameters] = {};
    bool set_[kNumParameters] = {};
};

int32_t chunkWord(const std::vector<uint8_t>& chunk, size_t offset) {
    int32_t v;
    std::memcpy(&v, chunk.data() + offset, 4);
    return v;
}
void setChunkWord(std::vector<uint8_t>& chunk, size_t offset, int32_t v) { std::memcpy(chunk.data() + offset, &v, 4); }

std::vector<uint8_t> takeChunk(host::Plugin& plugin) {
    void* data = nullptr;
    const VstIntPtr size = plugin.dispatcher(effGetChunk, 0, 0, &data);
    if (!data || size < VstIntPtr(kStateChunkSize)) return {};
    const auto* bytes = static_cast<const uint8_t*>(data);
    return std::vector<uint8_t>(bytes, bytes + size);
}

struct HostEvent {
    uint64_t frame;
    host::MidiIn midi;
};

// Holds back quiet frames after the release: they reach the file only when sound follows,
// so the file ends at the last audible frame.
class ReleaseTrimmer {
public:
    ReleaseTrimmer(AudioWriter& writer, uint64_t quietFrames) : writer_(writer), quietFrames_(quietFrames) {}
    // Answers false once the release has stayed silent long enough (or on a write failure).
    bool push(const float* left, const float* right, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            const bool loud = std::fabs(left[i]) > kSilenceLevel || std::fabs(right[i]) > kSilenceLevel;
            if (!loud) {
                if (left_.size() >= quietFrames_) return false;
                left_.push_back(left[i]);
                right_.push_back(right[i]);
                continue;
            }
            if (!left_.empty()) {
                if (!writer_.write(left_.data(), right_.data(), left_.size())) return fail();
                left_.clear();
                right_.clear();
            }
            if (!writer_.write(left + i, right + i, 1)) return fail();
        }
        return true;
    }
    bool failed() const { return failed_; }

private:
    bool fail() {
        failed_ = true;
        return false;
    }
    AudioWriter& writer_;
    uint64_t quietFrames_;
    std::vector<float> left_, right_;
    bool failed_ = false;
};

int run(const Options& o, const std::string& programPath, RenderResult& result, const ProgressFn& progress,
        const std::atomic<bool>* interrupted, std::string& error) {
    auto fail = [&](int code, std::string message) {
        error = std::move(message);
        return code;
    };

    // Every input is read and checked before the plug-in is loaded.
    std::string bankText, patternText;
    if (!o.bank.empty()) {
        if (!readWholeFile(o.bank, bankText)) return fail(kExitBadInput, "cannot read bank file " + o.bank);
        if (!looksLikePatternText(bankText))
            return fail(kExitBadInput, "no pattern found in bank file " + o.bank);
    }
    if (!o.patternFile.empty()) {
        if (!readWholeFile(o.patternFile, patternText))
            return fail(kExitBadInput, "cannot read pattern file " + o.patternFile);
        if (!looksLikePatternText(patternText))
            return fail(kExitBadInput, "no pattern found in pattern file " + o.patternFile);
    }
    MidiSong song;
    const bool noteMode = !o.midiFile.empty();
    if (noteMode) {
        std::string text;
        if (!readWholeFile(o.midiFile, text)) return fail(kExitBadInput, "cannot read MIDI file " + o.midiFile);
        std::string why;
        if (!parseMidiFile(std::vector<uint8_t>(text.begin(), text.end()), song, why))
            return fail(kExitBadInput, "MIDI file " + o.midiFile + ": " + why);
        const bool hasNotes = std::any_of(song.events.begin(), song.events.end(), [](const TimedMidi& m) {
            return (m.status & 0xF0) == kNoteOn && m.data2 > 0;
        });
        if (!hasNotes) return fail(kExitBadInput, "MIDI file " + o.midiFile + " has no notes to play");
    }

    const std::string pluginPath = o.pluginPath.empty() ? findPlugin(programPath) : o.pluginPath;
    if (pluginPath.empty() || !fs::is_regular_file(fs::path(pluginPath)))
        return fail(kExitBadInput, "plug-in file not found: " + (pluginPath.empty() ? "(none built)" : pluginPath));
    host::Plugin plugin;
    if (!plugin.load(pluginPath)) return fail(kExitFailed, "cannot load plug-in " + pluginPath + ": " + plugin.error());
    AEffect* effect = plugin.effect();
    if (effect->numOutputs < 1 || !effect->processReplacing || !(effect->flags & effFlagsProgramChunks))
        return fail(kExitFailed, pluginPath + " is not a KELO plug-in (no outputs, replacing or chunks)");

    const float rate = float(o.sampleRate);
    plugin.dispatcher(effOpen);
    plugin.dispatcher(effSetSampleRate, 0, 0, nullptr, rate);
    plugin.dispatcher(effSetBlockSize, 0, kBlockSize);

    // The mode, the tempo source, the bank and the pattern go in through the saved state, the
    // way a host restores a project: nothing outside the plug-in's own interface is touched.
    std::vector<uint8_t> chunk = takeChunk(plugin);
    if (chunk.empty() || chunkWord(chunk, 0) != kStateChunkMark)
        return fail(kExitFailed, "the plug-in gave no usable state chunk");
    PatternBank bank;
    std::memcpy(&bank, chunk.data() + kChunkBankOffset, sizeof bank);
    if (!bankText.empty()) parseBank(bank, bankText);

    CollectedParameters fileParameters(plugin);
    double fileTempo = 0.0;
    if (!o.patternFile.empty()) {
        ParameterCapture capture;
        EngineSettings loading; // parameters travel with the file; the tempo is ours to apply
        loading.loadParameters = 1;
        loading.syncMode = 0;
        Pattern& target = bank.patterns[o.pattern];
        if (!loadPatternWithParameters(target, o.patternFile, capture, loading, fileParameters))
            return fail(kExitBadInput, "cannot read pattern file " + o.patternFile);
        applyParameterLines(capture, loading, fileParameters, [&](double bpm) { fileTempo = bpm; });
        if (fileTempo != 0.0 && !o.tempoGiven && (fileTempo < kMinTempo || fileTempo > kMaxTempo)) {
            char text[64];
            std::snprintf(text, sizeof text, "%g", fileTempo);
            return fail(kExitBadInput, "pattern file " + o.patternFile + ": tempo " + text + " is outside 1..999");
        }
    }
    const double tempo = o.tempoGiven ? o.tempo : (fileTempo != 0.0 ? fileTempo : 120.0);

    // Parameter names are the plug-in's own; match them before anything is rendered.
    std::vector<std::pair<int, float>> settings;
    for (const ParameterSetting& s : o.settings) {
        int index = -1;
        std::string known;
        for (int i = 0; i < kNumParameters && i < effect->numParams; ++i) {
            const std::string name = plugin.parameterName(i);
            if (name.empty()) continue;
            known += (known.empty() ? "" : ", ") + name;
            if (index < 0 && sameParameterName(name, s.name)) index = i;
        }
        if (index < 0) return fail(kExitBadInput, "unknown parameter '" + s.name + "' (known: " + known + ", Tempo)");
        settings.emplace_back(index, float(s.value));
    }

    std::memcpy(chunk.data() + kChunkBankOffset, &bank, sizeof bank);
    const size_t settingsWord = kChunkSettingsOffset;
    setChunkWord(chunk, settingsWord + 4 * kChunkWordMidiMode, noteMode ? 1 : 0);
    setChunkWord(chunk, settingsWord + 4 * kChunkWordSyncMode, 1);
    plugin.dispatcher(effSetChunk, 0, VstIntPtr(chunk.size()), chunk.data());
    const std::vector<uint8_t> restored = takeChunk(plugin);
    const size_t played = kChunkBankOffset + sizeof(Pattern) * size_t(o.pattern);
    if (restored.size() != chunk.size() ||
        chunkWord(restored, settingsWord + 4 * kChunkWordMidiMode) != (noteMode ? 1 : 0) ||
        chunkWord(restored, settingsWord + 4 * kChunkWordSyncMode) != 1 ||
        std::memcmp(restored.data() + played, chunk.data() + played, sizeof(Pattern)) != 0)
        return fail(kExitFailed, "the plug-in did not take the state it was given");

    fileParameters.applyTo(plugin);
    for (const auto& [index, value] : settings) plugin.setParameter(index, value);
    if (!noteMode) plugin.setParameter(kTempo, float(std::clamp((tempo - 25.0) / 225.0, 0.0, 1.0)));

    // The plug-in follows the host tempo (sync mode, set above): the time info carries it.
    VstTimeInfo& time = plugin.timeInfo();
    time.tempo = tempo;
    time.sampleRate = o.sampleRate;
    time.flags = kVstTransportPlaying | kVstTempoValid | kVstTimeSigValid | kVstPpqPosValid;
    result.tempo = tempo;

    // What the host plays, in frames.
    std::vector<HostEvent> events;
    uint64_t releaseFrame = 0;
    if (noteMode) {
        for (const TimedMidi& m : song.events)
            events.push_back({uint64_t(std::llround(m.seconds * o.sampleRate)), {0, m.status, m.data1, m.data2}});
        releaseFrame = uint64_t(std::llround(song.lengthSeconds * o.sampleRate));
        // As a host does when its transport stops: nothing is left sounding.
        events.push_back({releaseFrame, {0, kControlChange, kAllNotesOff, 0}});
    } else {
        const double seconds = o.bars * 4.0 * 60.0 / tempo;
        releaseFrame = uint64_t(std::llround(seconds * o.sampleRate));
        const auto note = uint8_t(o.pattern);
        events.push_back({0, {0, kNoteOn, note, kPatternVelocity}});
        events.push_back({releaseFrame, {0, kNoteOff, note, 0}});
    }
    if (double(releaseFrame) > kMaxRenderSeconds * o.sampleRate)
        return fail(kExitBadInput, "the render would last longer than 4 hours");
    const uint64_t tailFrames = uint64_t(std::llround(o.tailSeconds * o.sampleRate));
    const uint64_t capFrame = releaseFrame + tailFrames;
    if (AudioWriter::wavBytes(capFrame, o.format) > 0xFFFFFFFFull)
        return fail(kExitBadInput, "the render would not fit in a WAV file (4 GB); use fewer bars or a lower rate");

    AudioWriter writer;
    if (!writer.open(o.output, o.sampleRate, o.format, error, o.normalizeDb)) return kExitFailed;

    plugin.resume();
    plugin.dispatcher(effStartProcess);
    std::vector<float> left(kBlockSize), right(kBlockSize);
    // What was set before the first block holds from the file's first sample: the plug-in
    // glides its volume and smooths its knobs towards new values, so it plays silence first
    // (nothing sounds before the first note) until every glide has arrived.
    const uint64_t preRollFrames = uint64_t(std::llround(kPreRollSeconds * o.sampleRate));
    for (uint64_t done = 0; done < preRollFrames; done += kBlockSize) {
        time.samplePos = double(done) - double(preRollFrames);
        time.ppqPos = time.samplePos / o.sampleRate * tempo / 60.0;
        plugin.process(kBlockSize, left.data(), right.data());
    }
    plugin.clearLogs();
    ReleaseTrimmer trimmer(writer, uint64_t(std::llround(kSilenceSeconds * o.sampleRate)));
    std::vector<host::MidiIn> blockEvents;
    size_t next = 0;
    uint64_t pos = 0;
    bool releaseOver = false;
    while (!releaseOver && (pos < capFrame || next < events.size())) {
        if (interrupted && interrupted->load()) {
            writer.abandon();
            return fail(kExitInterrupted, "interrupted; nothing written");
        }
        uint64_t n = kBlockSize;
        blockEvents.clear();
        while (next < events.size() && events[next].frame < pos + n) {
            if (blockEvents.size() == size_t(kMaxEventsPerBlock)) {
                // The plug-in holds a fixed number of events per block: end the block early.
                if (events[next].frame > pos) n = events[next].frame - pos;
                break;
            }
            host::MidiIn m = events[next].midi;
            m.offset = int32_t(events[next].frame > pos ? events[next].frame - pos : 0);
            blockEvents.push_back(m);
            ++next;
        }
        time.samplePos = double(pos);
        time.ppqPos = double(pos) / o.sampleRate * tempo / 60.0;
        std::fill(left.begin(), left.end(), 0.0f);
        std::fill(right.begin(), right.end(), 0.0f);
        if (!blockEvents.empty()) plugin.sendEvents(blockEvents);
        plugin.process(int(n), left.data(), right.data());
        plugin.clearLogs();

        // Frames before the release go straight to the file; the release is trimmed.
        const uint64_t end = std::min(pos + n, capFrame);
        uint64_t i = pos;
        if (i < std::min(end, releaseFrame)) {
            const uint64_t k = std::min(end, releaseFrame) - i;
            if (!writer.write(left.data() + (i - pos), right.data() + (i - pos), size_t(k)))
                return fail(kExitFailed, "cannot write " + o.output + " (disk full or file too large?)");
            i += k;
        }
        if (i < end && !trimmer.push(left.data() + (i - pos), right.data() + (i - pos), size_t(end - i))) {
            if (trimmer.failed()) return fail(kExitFailed, "cannot write " + o.output + " (disk full or file too large?)");
            releaseOver = true;
        }
        pos += n;
        if (progress) progress(std::min(pos, releaseFrame), releaseFrame);
    }
    result.tailCut = !releaseOver && tailFrames > 0;
    plugin.dispatcher(effStopProcess);
    plugin.suspend();
    plugin.close();

    result.frames = writer.frames();
    result.releaseFrame = releaseFrame;
    if (!writer.commit(error)) return kExitFailed;
    result.peak = writer.peak();
    result.gain = writer.gain();
    result.clippedSamples = writer.clippedSamples();
    return kExitOk;
}

} // namespace

std::string findPlugin(const std::string& programPath) {
#if defined(_WIN32)
    const char* fileName = "KELO.dll";
#else
    const char* fileName = "KELO.so";
#endif
    if (!programPath.empty()) {
        std::error_code ec;
        const fs::path beside = fs::absolute(fs::path(programPath), ec).parent_path() / fileName;
        if (!ec && fs::is_regular_file(beside, ec)) return beside.string();
    }
    return host::defaultPluginPath();
}

int renderToFile(const Options& options, const std::string& programPath, RenderResult& result,
                 std::string& error, const ProgressFn& progress, const std::atomic<bool>* interrupted) {
    result = RenderResult{};
    error.clear();
    return run(options, programPath, result, progress, interrupted, error);
}

} // namespace kelo::render
