// The state chunk as a host sees it: through the real plug-in file's dispatcher.
#include "host/Plugin.h"
#include "plugin/StateChunk.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

using kelo::host::Plugin;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes getChunk(Plugin& p, bool isPreset = false) {
    void* data = nullptr;
    const VstIntPtr size = p.dispatcher(effGetChunk, isPreset ? 1 : 0, 0, &data);
    if (size <= 0 || data == nullptr) return {};
    const uint8_t* b = static_cast<const uint8_t*>(data);
    return Bytes(b, b + size);
}

void setChunk(Plugin& p, const Bytes& bytes, bool isPreset = false) {
    p.dispatcher(effSetChunk, isPreset ? 1 : 0, VstIntPtr(bytes.size()), const_cast<uint8_t*>(bytes.data()));
}

uint32_t word(const Bytes& c, size_t offset) {
    uint32_t v;
    std::memcpy(&v, c.data() + offset, 4);
    return v;
}
void putWord(Bytes& c, size_t offset, uint32_t v) { std::memcpy(c.data() + offset, &v, 4); }

size_t stepOffset(int pattern, int step) { return kelo::kChunkBankOffset + 132 * size_t(pattern) + 4 + 2 * size_t(step); }

// Pattern `index` becomes 16 gated, sliding steps of one note: a steady tone while it plays.
void setHeldPattern(Bytes& c, int index, uint8_t note) {
    putWord(c, kelo::kChunkBankOffset + 132 * size_t(index), 16);
    for (int s = 0; s < 16; ++s) {
        c[stepOffset(index, s)] = note;
        c[stepOffset(index, s) + 1] = kelo::StepGate | kelo::StepSlide;
    }
}

// Every 32-bit field reversed, as a writer of the other byte order stores it.
Bytes otherByteOrder(Bytes c) {
    auto rev = [&](size_t off) {
        std::swap(c[off], c[off + 3]);
        std::swap(c[off + 1], c[off + 2]);
    };
    rev(0);
    rev(4);
    for (int i = 0; i < kelo::kNumPatterns; ++i) rev(kelo::kChunkBankOffset + 132 * size_t(i));
    for (int i = 0; i < kelo::kNumPrograms; ++i)
        for (int v = 0; v < kelo::kProgramValues; ++v) rev(kelo::kChunkProgramsOffset + 196 * size_t(i) + 24 + 4 * size_t(v));
    for (int w = 0; w < kelo::kChunkSettingsWords; ++w) rev(kelo::kChunkSettingsOffset + 4 * size_t(w));
    for (int s = 0; s < kelo::kNumParamSlots; ++s) rev(kelo::kChunkSlotsOffset + 4 * size_t(s));
    return c;
}

// Fundamental frequency by normalised autocorrelation: the first peak close to the best one.
double fundamental(const std::vector<float>& x, double rate) {
    const size_t minLag = size_t(rate / 1000), maxLag = size_t(rate / 30);
    if (x.size() < 3 * maxLag) return 0;
    const size_t n = x.size() - maxLag - 1;
    std::vector<double> nsdf(maxLag + 2, 0.0);
    double best = 0;
    for (size_t lag = minLag - 1; lag <= maxLag + 1; ++lag) {
        double r = 0, m = 0;
        for (size_t i = 0; i < n; ++i) {
            r += double(x[i]) * x[i + lag];
            m += double(x[i]) * x[i] + double(x[i + lag]) * x[i + lag];
        }
        nsdf[lag] = m > 0 ? 2 * r / m : 0;
        if (lag >= minLag) best = std::max(best, nsdf[lag]);
    }
    for (size_t lag = minLag; lag <= maxLag; ++lag)
        if (nsdf[lag] >= 0.9 * best && nsdf[lag] >= nsdf[lag - 1] && nsdf[lag] >= nsdf[lag + 1])
            return rate / double(lag);
    return 0;
}

// Points HOME at an empty folder for the test's lifetime, so no user's settings or bank reach
// the instances and the files they write on shutdown land in the scratch folder.
class ScratchHome {
public:
    ScratchHome() {
        const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
        root_ = std::filesystem::temp_directory_path() / ("kelo-chunk-" + std::to_string(stamp));
        std::filesystem::create_directories(root_);
        for (const char* name : kVars) {
            const char* v = std::getenv(name);
            saved_.push_back(v ? std::optional<std::string>(v) : std::nullopt);
            setEnv(name, root_.string().c_str());
        }
    }
    ~ScratchHome() {
        for (size_t i = 0; i < std::size(kVars); ++i) setEnv(kVars[i], saved_[i] ? saved_[i]->c_str() : nullptr);
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }

private:
    static constexpr const char* kVars[] = {"HOME", "XDG_CONFIG_HOME", "USERPROFILE"};
    static void setEnv(const char* name, const char* value) {
#if defined(_WIN32)
        _putenv_s(name, value ? value : "");
#else
        if (value) setenv(name, value, 1);
        else unsetenv(name);
#endif
    }
    std::filesystem::path root_;
    std::vector<std::optional<std::string>> saved_;
};

class ChunkHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(a.load()) << a.error();
        ASSERT_TRUE(b.load()) << b.error();
        a.start(44100.0f, 512);
        b.start(44100.0f, 512);
    }

    ScratchHome home;
    Plugin a, b;
};

} // namespace

TEST_F(ChunkHostTest, GetChunkIsTheWholeImageWhateverIsPreset) {
    EXPECT_NE(a.effect()->flags & effFlagsProgramChunks, 0);
    const Bytes bank = getChunk(a, false), preset = getChunk(a, true);
    ASSERT_EQ(bank.size(), kelo::kStateChunkSize);
    EXPECT_EQ(preset, bank);
    EXPECT_EQ(word(bank, 0), 200u);
    EXPECT_EQ(word(bank, 4), 20120u);
    float volume;
    std::memcpy(&volume, bank.data() + kelo::kChunkSlotsOffset + 4 * 8, 4);
    EXPECT_EQ(volume, a.getParameter(8));
}

TEST_F(ChunkHostTest, FreshInstanceRestoresEverythingAndAnswersIdenticalBytes) {
    a.setParameter(1, 0.8125f);
    a.setParameter(9, 0.3f);
    a.setParameter(200, 0.25f);  // an editor slot rides along too
    a.dispatcher(effSetProgram, 0, 3);
    char name[] = "Squelch";
    a.dispatcher(effSetProgramName, 0, 0, name);
    // Pattern and cursor edits the host cannot make directly go in through a chunk.
    Bytes edited = getChunk(a);
    setHeldPattern(edited, 5, 7);
    putWord(edited, kelo::kChunkSettingsOffset + 4 * kelo::kChunkWordCurrentPattern, 5);
    putWord(edited, kelo::kChunkSettingsOffset + 4 * kelo::kChunkWordEditCursor, 9);
    setChunk(a, edited, true);  // isPreset makes no difference
    const Bytes saved = getChunk(a);
    ASSERT_EQ(saved, edited);

    b.clearLogs();
    setChunk(b, saved);
    EXPECT_EQ(getChunk(b), saved);
    EXPECT_FLOAT_EQ(b.getParameter(1), 0.8125f);
    EXPECT_FLOAT_EQ(b.getParameter(9), 0.3f);
    EXPECT_FLOAT_EQ(b.getParameter(200), 0.25f);
    EXPECT_EQ(b.dispatcher(effGetProgram), 3);
    EXPECT_EQ(b.programName(), "Squelch");
    // Restored values are written straight in: the host hears no automation and no MIDI.
    EXPECT_TRUE(b.automations().empty());
    EXPECT_TRUE(b.sentMidi().empty());
}

TEST_F(ChunkHostTest, OtherByteOrderChunkRestoresTheSameState) {
    a.setParameter(0, 0.625f);
    a.setParameter(4, 0.75f);
    Bytes native = getChunk(a);
    setHeldPattern(native, 17, 3);
    putWord(native, kelo::kChunkBankOffset + 132 * 17, 0x80002A0Cu);  // triplet, shuffle 42, 12 steps
    float programValue = 0.375f;
    std::memcpy(native.data() + kelo::kChunkProgramsOffset + 196 * 9 + 24 + 4 * 2, &programValue, 4);

    setChunk(b, otherByteOrder(native));
    EXPECT_EQ(getChunk(b), native);
    EXPECT_FLOAT_EQ(b.getParameter(0), 0.625f);
    EXPECT_FLOAT_EQ(b.getParameter(4), 0.75f);
}

TEST_F(ChunkHostTest, RejectedChunksLeaveTheInstanceUnchanged) {
    b.setParameter(1, 0.2f);
    const Bytes before = getChunk(b);
    a.setParameter(1, 0.9f);
    const Bytes other = getChunk(a);

    Bytes shortChunk(other.begin(), other.begin() + 21151);
    setChunk(b, shortChunk);
    Bytes badMark = other;
    putWord(badMark, 0, 201);
    setChunk(b, badMark);
    b.dispatcher(effSetChunk, 0, VstIntPtr(other.size()), nullptr);

    EXPECT_EQ(getChunk(b), before);
    EXPECT_FLOAT_EQ(b.getParameter(1), 0.2f);
}

TEST_F(ChunkHostTest, RestoredPatternIsWhatPlays) {
    // Pattern 5 holds A (MIDI 45, 110 Hz); the same instance with C there (65.41 Hz) is the
    // control, so a pattern that was not restored cannot pass by accident.
    for (auto [note, hz] : {std::pair<uint8_t, double>{9, 110.0}, {0, 65.406}}) {
        Plugin p;
        ASSERT_TRUE(p.load()) << p.error();
        p.start(44100.0f, 512);
        Bytes c = getChunk(p);
        putWord(c, kelo::kChunkSettingsOffset + 4 * kelo::kChunkWordMidiMode, 0);
        setHeldPattern(c, 5, note);
        setChunk(p, c);

        std::vector<float> out;
        for (int block = 0; block < 60; ++block) {
            const auto r = block == 0 ? p.render(512, {{0, 0x90, 5, 100}}) : p.render(512);
            out.insert(out.end(), r.left.begin(), r.left.end());
        }
        // Skip the attack; measure about half a second of the held note.
        const std::vector<float> held(out.begin() + 4410, out.end());
        double peak = 0;
        for (float v : held) peak = std::max(peak, double(std::fabs(v)));
        ASSERT_GT(peak, 0.01) << "pattern 5 did not sound";
        const double f = fundamental(held, 44100.0);
        EXPECT_NEAR(f, hz, hz * 0.015) << "note byte " << int(note);
    }
}
