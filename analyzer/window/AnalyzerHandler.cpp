#include "analyzer/window/AnalyzerHandler.h"

#include <algorithm>
#include <cstdio>
#include <functional>

#include "analyzer/AudioPreview.h"
#include "analyzer/PatternDetector.h"
#include "analyzer/window/CWaveDraw.h"
#include "editor/controls/PanelBuilder.h"
#include "editor/controls/TextControls.h"
#include "files/EngineSettings.h"
#include "platform/Services.h"
#include "toolkit/CViewContainer.h"
#include "toolkit/controls/CButtons.h"
#include "toolkit/controls/CParamDisplay.h"

namespace kelo {

using namespace gui;

namespace {

const PanelElement kRows[] = {
    {kPanelTitle, 0, "Pattern Analyzer", 20, 8, 400, 32},
    {kPanelLabel, 0, "Instructions", 240, 180, 500, 16},
    {kPanelLabel, 0, "1. Sample one measure of the pattern with your TB-303 or x0xb0x set to:", 240, 200, 500, 16},
    {kPanelLabel, 0, "- Minimum Resonance", 300, 220, 400, 16},
    {kPanelLabel, 0, "- Maximum Cutoff, Envmod, Decay and Accent", 300, 240, 400, 16},
    {kPanelLabel, 0, "- Sawtooth waveform, Low tempo, Tuning at center and Volume so no clipping occurs", 300, 260,
     400, 16},
    {kPanelLabel, 0, "2. After Loading the audio adjust the number of steps in the pattern and hit Detect", 240, 280,
     600, 16},
    {kPanelLabel, 0, "3. If successful detection KELO will transcribe your pattern with a few errors at maximum", 240,
     300, 600, 16},
    {kPanelTextButton, AnalyzerHandler::kLoadAudio, "Load Audio", 32, 64, 100, 20},
    {kPanelTextButton, AnalyzerHandler::kPlayAudio, "Play Audio", 142, 64, 100, 20},
    {kPanelTextButton, AnalyzerHandler::kPlayPattern, "Play Pattern", 252, 64, 100, 20},
    {kPanelTextButton, AnalyzerHandler::kDetect, "Detect", 32, 180, 100, 20},
    {kPanelCheckBox, AnalyzerHandler::kMatchTempo, "Match Tempo", 32, 200, 100, 20},
    {kPanelCheckBox, AnalyzerHandler::kTriplet, "Triplet", 32, 220, 100, 20},
    {kPanelCheckBox, AnalyzerHandler::kRhythm, "Rhythm", 32, 240, 100, 20},
    {kPanelCheckBox, AnalyzerHandler::kPitch, "Pitch", 32, 260, 100, 20},
    {kPanelLabel, AnalyzerHandler::kPatternNumber, "", 370, 64, 190, 20},
    {kPanelLabel, 0, "Steps", 570, 64, 48, 20},
    {kPanelSpinBox, AnalyzerHandler::kSteps, nullptr, 608, 65, 67, 18},
    {kPanelCloseButton, AnalyzerHandler::kClose, nullptr, 668, -5, 20, 20},
    {kPanelTextButton, AnalyzerHandler::kClose, "Done", 32, 322, 100, 20},
};

const CRect kWaveRect(32, 90, 672, 154);

// The waveform view with the window's idle work attached.
class WaveView : public CWaveDraw {
public:
    WaveView(const CRect& size, IControlListener* listener, std::function<void()> idle)
        : CWaveDraw(size, listener), idle_(std::move(idle)) {}
    void onIdle() override {
        CWaveDraw::onIdle();
        if (idle_) idle_();
    }
    void detach() {
        idle_ = nullptr;
        setListener(nullptr);
    }

private:
    std::function<void()> idle_;
};

void setTitle(CControl* c, const char* title) {
    if (auto* b = dynamic_cast<CTextButton*>(c); b && b->getTitle() != title) b->setTitle(title);
}

bool sameShown(const AnalyzerSite::Current& a, const AnalyzerSite::Current& b) {
    return a.index == b.index && a.running == b.running && a.pattern.header == b.pattern.header;
}

} // namespace

AnalyzerHandler::AnalyzerHandler(AnalyzerSite& site, CViewContainer* panel)
    : site_(site), panel_(panel), self_(std::make_shared<AnalyzerHandler*>(this)) {
    // Held until this handler goes: its views call it back until then, whoever closes first.
    panel_->remember();
    buildPanel(panel_, this, controls_.data(), kTagCount, kRows, int32_t(std::size(kRows)));
    patternLabel_ = dynamic_cast<CTextLabel*>(controls_[kPatternNumber]);
    wave_ = new WaveView(kWaveRect, this, [this] { onIdle(); });
    wave_->setPattern(&current_.pattern);
    panel_->addView(wave_);
}

AnalyzerHandler::~AnalyzerHandler() {
    // A recording looping on with no window to stop it would be a surprise.
    if (open_) site_.preview().setPlaying(false);
    static_cast<WaveView*>(wave_)->detach();
    wave_->setWantsIdle(false);
    for (CView* v : panel_->children())
        if (auto* c = dynamic_cast<CControl*>(v); c && c->getListener() == this) c->setListener(nullptr);
    panel_->forget();
}

CControl* AnalyzerHandler::control(int32_t tag) const {
    if (tag == CWaveDraw::kTag) return wave_;
    return tag >= 0 && tag < kTagCount ? controls_[size_t(tag)] : nullptr;
}

void AnalyzerHandler::open() {
    if (open_) return;
    open_ = true;
    panel_->setVisible(true);
    const WaveBuffer& front = site_.preview().front();
    wave_->setBuffer(&front);
    wave_->setFramesShown(front.frameCount);
    wave_->setWantsIdle(true);
    refreshAnalyzer();
    wave_->invalid();
}

void AnalyzerHandler::close() {
    if (!open_) return;
    open_ = false;
    panel_->setVisible(false);
    wave_->setWantsIdle(false);
    site_.preview().setPlaying(false);
    site_.refreshEditor();
}

void AnalyzerHandler::resolve() { current_ = site_.resolve(); }

void AnalyzerHandler::refreshAnalyzer() {
    if (!open_) return;
    resolve();
    refreshFrom(true);
}

void AnalyzerHandler::refreshFrom(bool withTempo) {
    const Pattern& p = current_.pattern;
    const int steps = playedSteps(p);
    wave_->setSteps(float(steps));
    setTitle(control(kPlayAudio), site_.preview().playing() ? "Stop Audio" : "Play Audio");
    setTitle(control(kPlayPattern), current_.running ? "Stop Pattern" : "Play Pattern");

    char text[32];
    if (auto* spin = dynamic_cast<CMySpinBox*>(control(kSteps))) {
        std::snprintf(text, sizeof text, "%2d", steps);
        spin->setText(text);
        if (!spin->isEditing()) spin->setValue(float(steps - 1) / 63.0f);
    }
    const AnalyzerOptions& options = analyzerOptions();
    setChecked(kTriplet, p.triplet());
    setChecked(kRhythm, options.rhythm.load());
    setChecked(kPitch, options.pitch.load());
    setChecked(kMatchTempo, options.matchTempo.load());
    if (patternLabel_) {
        std::snprintf(text, sizeof text, "Pattern %d", int(current_.index));
        if (patternLabel_->getText() != text) patternLabel_->setText(text);
    }

    if (withTempo) {
        EngineSettings unused; // the site switches host sync off with the tempo
        kelo::matchTempo(site_.preview().front(), p, options, site_.hostSampleRate(), unused,
                         [this](double bpm) { site_.setTempo(bpm); });
    }
    panel_->invalid();
}

void AnalyzerHandler::setChecked(int32_t tag, bool on) {
    CControl* c = control(tag);
    const float v = on ? 1.0f : 0.0f;
    if (c && c->getValue() != v) {
        c->setValue(v);
        c->invalid();
    }
}

void AnalyzerHandler::onIdle() {
    if (!open_ || wave_->isEditing()) return;
    if (CControl* spin = control(kSteps); spin && spin->isEditing()) return;
    // Follows the pattern selected elsewhere (panel, MIDI) and the run state.
    const AnalyzerSite::Current latest = site_.latest();
    if (sameShown(latest, current_)) return;
    current_ = latest;
    refreshFrom(true);
}

// ------------------------------------------------------------------------------ commands

void AnalyzerHandler::controlBeginEdit(CControl* c) {
    if (!open_ || !c) return;
    // Drags edit the pattern that is current when they start.
    if (c == wave_ || c->getTag() == kSteps) {
        resolve();
        refreshFrom(false);
    }
}

void AnalyzerHandler::controlEndEdit(CControl* c) {
    if (!open_ || !c) return;
    // What the drag sent has been applied once this returns, so idle compares with it.
    if (c == wave_ || c->getTag() == kSteps) resolve();
}

void AnalyzerHandler::valueChanged(CControl* c) {
    if (!open_ || !c) return;
    const float value = c->getValue();
    const bool pressed = value > 0.0f;
    const bool on = value > 0.5f;
    AnalyzerOptions& options = analyzerOptions();
    if (c == wave_) {
        const int32_t step = wave_->editedStep();
        if (step < 0 || step >= kMaxSteps) return;
        const PatternStep& s = current_.pattern.steps[step];
        if (const uint8_t mask = wave_->editedMask())
            site_.setStepFlag(current_.index, step, mask, (s.flags & mask) != 0);
        else
            site_.setStepNote(current_.index, step, s.note);
        return;
    }
    switch (c->getTag()) {
    case kLoadAudio:
        if (pressed) loadAudio();
        break;
    case kPlayAudio:
        if (pressed) {
            site_.preview().setPlaying(!site_.preview().playing());
            refreshAnalyzer();
        }
        break;
    case kPlayPattern:
        site_.restartPattern(pressed);
        refreshAnalyzer();
        break;
    case kDetect:
        if (pressed) detect();
        break;
    case kRhythm:
        options.rhythm.store(on);
        refreshAnalyzer();
        break;
    case kPitch:
        options.pitch.store(on);
        refreshAnalyzer();
        break;
    case kTriplet:
        resolve();
        site_.setTriplet(current_.index, on);
        refreshAnalyzer();
        break;
    case kMatchTempo:
        options.matchTempo.store(on);
        refreshAnalyzer();
        break;
    case kSteps: {
        const int steps = std::clamp(int(value * 63.0f + 1.0f), 1, kMaxSteps);
        // A drag keeps the pattern resolved at its start; a single change resolves now.
        if (!c->isEditing()) resolve();
        if (steps != current_.pattern.stepCount()) {
            site_.setStepCount(current_.index, steps);
            current_.pattern.setStepCount(steps);
        }
        if (c->isEditing())
            refreshFrom(true);
        else
            refreshAnalyzer();
        break;
    }
    case kClose:
        if (pressed) close();
        break;
    default: break;
    }
}

void AnalyzerHandler::loadAudio() {
    platform::FileDialogRequest r;
    r.kind = platform::FileDialogKind::kOpen;
    r.title = "Choose An Audio File";
    r.filters = {{".aif", {"aif", "aiff"}}, {".wav", {"wav"}}};
    // Most recordings are WAV files: show them first.
    r.defaultFilter = 1;
    r.owner = site_.dialogOwner();
    std::weak_ptr<AnalyzerHandler*> alive = self_;
    platform::services().chooseFile(r, [alive](const std::vector<std::string>& files) {
        const auto self = alive.lock();
        if (!self || files.empty() || files.front().empty()) return;
        (*self)->loadFile(files.front());
    });
}

void AnalyzerHandler::loadFile(const std::string& path) {
    if (path.size() > kMaxRecordingPath) {
        site_.tell("The path of the audio file is too long (at most 255 characters):\n" + path);
        return;
    }
    AudioPreview& preview = site_.preview();
    WaveBuffer& back = preview.back();
    std::string error;
    // The back buffer is this thread's alone; the front one plays on meanwhile.
    if (!loadWaveFile(back, path, error)) {
        site_.tell("Could not load the audio file\n" + path + "\n" + error);
        return;
    }
    normalizeWave(back);
    resolve();
    const int steps = std::clamp(stepCountFromFileName(path, current_.pattern.stepCount()), 1, kMaxSteps);
    site_.setStepCount(current_.index, steps);
    preview.exchange();
    wave_->setBuffer(&preview.front());
    wave_->setFramesShown(preview.front().frameCount);
    wave_->invalid();
    refreshAnalyzer();
}

void AnalyzerHandler::detect() {
    const WaveBuffer& recording = site_.preview().front();
    // Without a recording, detection would only turn the pattern into rests.
    if (!recording.loaded || recording.frames() == 0) {
        site_.tell("Load a recording of one measure of the pattern first.");
        return;
    }
    resolve();
    Pattern result = current_.pattern;
    if (applyDetection(recording, result, analyzerOptions()))
        site_.writeSteps(current_.index, result, playedSteps(result));
    refreshAnalyzer();
    site_.refreshEditor();
}

} // namespace kelo
