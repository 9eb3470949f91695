#include "editor/Riv303Uru.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analyzer/window/AnalyzerHandler.h"
#include "editor/AnalyzerBridge.h"
#include "editor/EditorResources.h"
#include "editor/Preferences.h"
#include "editor/SkinLayout.h"
#include "editor/controls/CAnimSprite.h"
#include "editor/controls/CFloatingDisplay.h"
#include "editor/controls/CIlluButton.h"
#include "editor/controls/CMyAnimKnob.h"
#include "editor/controls/CMyOptionMenu.h"
#include "editor/controls/CMySplashScreen.h"
#include "editor/controls/CScrollMultipleDigits.h"
#include "editor/controls/TextControls.h"
#include "files/EditorSettingsFile.h"
#include "platform/Platform.h"
#include "platform/Services.h"
#include "plugin/Vez303.h"
#include "toolkit/CBitmap.h"
#include "toolkit/CFontDesc.h"
#include "toolkit/CFrame.h"
#include "toolkit/controls/CButtons.h"
#include "toolkit/controls/CMovieBitmap.h"
#include "toolkit/controls/CRockerSwitch.h"


namespace kelo {

using namespace gui;
using namespace skintag;

namespace {

constexpr int32_t kKnobTags[] = {TUNINGKNOB, CUTOFFKNOB, RESONANCEKNOB, ENVMODKNOB, DECAYKNOB,
                                 ACCENTKNOB, DRIVEKNOB, DISTORTKNOB, VOLUMEKNOB, SHUFFLEKNOB};
constexpr int32_t kKickTags[] = {300, 301, 302, 303, 304, 305, 306, 307, 308, 309, 310, 311, 312, 313,
                                 322, 323, 314, 315, 317, 318, 319, 320, 321};
constexpr int32_t kIlluTags[] = {700, 701, 702, 703, 704, 705, 706, 707, 708, 709, 710, 711,
                                 712, 714, 715, 716, 717, 718, 719, 720, 721, 722, 723, 724};
constexpr int32_t kDigitTags[] = {PATTERNDIGITS, TEMPODIGITS, STEPSDIGITS, STEPDISPLAY};
constexpr int32_t kParamSwitchTags[] = {WAVEFORMSWITCH, DISTORTIONSWITCH, HIGHPASS_SWITCH};
// Parameters with a control, in the order of their learn labels.
constexpr int32_t kLearnParameters[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12};

constexpr int kLightRows = 13;
constexpr const char* kLightShow[Riv303Uru::kLightShowFrames] = {
    "1111111111111", "1100000000000", "0011000000000", "0000110000000", "0000001100000",
    "0000000011000", "0000000000111", "0000000011000", "0000001100000", "0000110000000",
    "0011000000000", "1100000000000", "0000000000000", "1111111111111"};

constexpr const char* kProductTitle = "Orvanta KELO";

// The parameter a control writes, or -1.
int parameterOfTag(int32_t tag) {
    if (tag >= TUNINGKNOB && tag <= VOLUMEKNOB) return tag - TUNINGKNOB;
    switch (tag) {
    case WAVEFORMSWITCH: return kWaveform;
    case DISTORTIONSWITCH: return kDistortionType;
    case HIGHPASS_SWITCH: return kHighpassFilter;
    default: return -1;
    }
}

int32_t tagOfParameter(int index) {
    if (index >= kTune && index <= kVolume) return TUNINGKNOB + index;
    switch (index) {
    case kWaveform: return WAVEFORMSWITCH;
    case kDistortionType: return DISTORTIONSWITCH;
    case kHighpassFilter: return HIGHPASS_SWITCH;
    default: return -1;
    }
}

// The step-programming code of an illuminated key, -1 for those that are not step keys.
int illuCode(int32_t tag) {
    if (tag >= ILLUBUTTON1 && tag <= ILLUBUTTON13) return tag - ILLUBUTTON1;
    switch (tag) {
    case ILLUBUTTON14: return 15;
    case ILLUBUTTON15: return 14;
    case ILLUBUTTON16: return 17;
    case ILLUBUTTON17: return 18;
    case ILLUBUTTON18: return 19;
    case ILLUBUTTON19: return 20;
    case ILLUBUTTON20: return 21;
    case ILLUBUTTON21: return 25;
    case ILLUBUTTON22: return 24;
    default: return -1;
    }
}

bool isNoteKey(int32_t tag) {
    return (tag >= NOTEBUTTON1 && tag <= NOTEBUTTON13) || (tag >= ILLUBUTTON1 && tag <= ILLUBUTTON13);
}

bool isLengthKey(int32_t tag) { return tag == ILLUBUTTON21 || tag == ILLUBUTTON22; }
bool isRocker(int32_t tag) { return tag == PATTERNROCKER || tag == TEMPOROCKER || tag == STEPSROCKER; }

std::string noteName(int note) {
    static constexpr const char* kNames = "C-C#D-D#E-F-F#G-G#A-A#B-";
    char text[16];
    std::snprintf(text, sizeof text, "%c%c%d", kNames[2 * (note % 12)], kNames[2 * (note % 12) + 1], note / 12);
    return text;
}

CRect toRect(const SkinRect& r) { return CRect(r.left, r.top, r.right, r.bottom); }

// Tick-count comparison that survives the 32-bit wrap.
bool reached(uint32_t now, uint32_t at) { return int32_t(now - at) >= 0; }

} // namespace

// ------------------------------------------------------------------------------ lifecycle

Riv303Uru::Riv303Uru(Vez303& plugin)
    : AEffGUIEditor(&plugin), plugin_(plugin), link_(plugin), menus_(*this), alive_(std::make_shared<uint32_t>(0)) {
    // The skin is loaded when the host first asks about the editor: hosts build many instances
    // (scans, projects) whose editors never show, and decoding its pictures is most of the cost.
    settingsRead_ = readSettings();
}

void Riv303Uru::ensureSkin() {
    if (skinTried_) return;
    skinTried_ = true;
    loadSkin(settings_.skin);
}

Riv303Uru::~Riv303Uru() {
    if (open_ || frame) close();
    writeSettings();
    alive_.reset(); // answers still on their way find no editor
}

bool Riv303Uru::getRect(ERect** r) {
    if (!r) return false;
    CRect size;
    ensureSkin();
    if (open_ && frame) {
        size = frame->getViewSize();
    } else {
        const SkinRect bg = skin_.rect(BACKGROUND);
        size = CRect(0, 0, bg.width(), bg.height());
    }
    rect = ERect{0, 0, static_cast<VstInt16>(std::min<CCoord>(size.getHeight(), 32767)),
                 static_cast<VstInt16>(std::min<CCoord>(size.getWidth(), 32767))};
    *r = &rect;
    return true;
}

bool Riv303Uru::open(void* parentWindow) { return parentWindow && openFrame(parentWindow, false); }

bool Riv303Uru::openOffscreen() { return openFrame(nullptr, true); }

bool Riv303Uru::openFrame(void* parentWindow, bool offscreen) {
    if (open_ || frame) close();
    if (!settingsRead_) {
        settingsRead_ = readSettings();
        // The editor still opens, with the defaults, and writes Gui.ini when it closes.
        if (!settingsRead_ && !reinstallShown_) {
            reinstallShown_ = true;
            ask(kProductTitle, "This plug-in needs to be reinstalled for this user account", false, nullptr);
        }
    }
    ensureSkin();
    const SkinRect bg = skin_.rect(BACKGROUND);
    const CRect size(0, 0, std::max(bg.width(), 1), std::max(bg.height(), 1));
    AEffGUIEditor::open(parentWindow);
    frame = new CFrame(size, this);
    const bool opened = offscreen ? frame->openOffscreen() : frame->open(parentWindow);
    if (!opened) {
        frame->close();
        frame = nullptr;
        AEffGUIEditor::close();
        return false;
    }
    ++session_;
    *alive_ = session_;
    open_ = true;
    buildErrorShown_ = false;
    panel_ = new CViewContainer(size);
    panel_->setBackground(bitmapOf(BACKGROUND));
    frame->addView(panel_);
    buildControls();

    // The preferences and the analyzer, built hidden.
    const CRect panelSize(0, 0, kSkinMinWidth, kSkinMinHeight);
    for (CViewContainer** p : {&preferences_, &analyzer_}) {
        CRect r = panelSize;
        r.offset(std::max<CCoord>(0, (size.getWidth() - r.getWidth()) / 2),
                 std::max<CCoord>(0, (size.getHeight() - r.getHeight()) / 2));
        *p = new CViewContainer(r);
        (*p)->setBackgroundColor(CColor(40, 40, 40, 255));
        (*p)->setVisible(false);
        panel_->addView(*p);
    }
    preferencesHandler_ = std::make_unique<PreferencesHandler>(*this, preferences_);
    analyzerBridge_ = std::make_unique<AnalyzerBridge>(*this);
    analyzerHandler_ = std::make_unique<AnalyzerHandler>(*analyzerBridge_, analyzer_);

    link_.sync();
    shown_ = link_.state();
    lastMidiActivity_ = shown_.midiActivity;
    const uint32_t now = platform::tickCount();
    lastMidiLed_ = lastRepeat_ = lastBlink_ = lastRefresh_ = now;
    lastLightShow_ = now - kRepeatMs;
    lightShow_ = shown_.eggs > 0 ? 0 : kLightShowFrames;
    blinkPhase_ = false;
    refreshPending_ = false;
    fullRefresh();
    return true;
}

void Riv303Uru::close() {
    if (open_) writeSettings();
    open_ = false;
    ++session_;
    *alive_ = 0;
    auditionRelease();
    if (void* owner = messageOwner()) platform::services().cancelDialogs(owner);
    menus_.release();
    learnLabels_.clear();
    holds_.clear();
    // Their controls go with the frame.
    analyzerHandler_.reset();
    analyzerBridge_.reset();
    preferencesHandler_.reset();
    controls_.fill(nullptr);
    panel_ = preferences_ = analyzer_ = nullptr;
    if (frame) {
        frame->close();
        frame = nullptr;
    }
    AEffGUIEditor::close();
}

// ------------------------------------------------------------------------------ settings, skin

bool Riv303Uru::readSettings() {
    const std::string& folder = plugin_.dataFolder();
    return !folder.empty() && readEditorSettings(settings_, folder + "Gui.ini");
}

void Riv303Uru::writeSettings() const {
    const std::string& folder = plugin_.dataFolder();
    if (!folder.empty()) writeEditorSettings(settings_, folder + "Gui.ini");
}

bool Riv303Uru::loadSkin(const std::string& name) {
    const std::string& folder = plugin_.dataFolder();
    // Without a data folder, relative names would be read from the host's working folder.
    const MemorySkinStore none;
    const FolderSkinStore disk(folder);
    const SkinStore& store = folder.empty() ? static_cast<const SkinStore&>(none) : disk;
    skinTried_ = true;
    const SkinOrigin origin = loadSkinWithFallback(skin_, store, &builtInSkinStore(), name, &decodeSkinImage);
    if (origin == SkinOrigin::None) return false;
    skinOrigin_ = origin;
    return true;
}

bool Riv303Uru::useSkin(const SkinStore& store, const std::string& name) {
    skinTried_ = true;
    if (!kelo::loadSkin(skin_, store, name, &decodeSkinImage)) return false;
    skinOrigin_ = SkinOrigin::Named;
    return true;
}

bool Riv303Uru::setKnobMode(VstInt32 mode) {
    settings_.knobMode = std::clamp<int32_t>(mode, kCircularMode, kLinearMode);
    return true;
}

int32 Riv303Uru::getKnobMode() const { return std::clamp<int32_t>(settings_.knobMode, kCircularMode, kLinearMode); }

// ------------------------------------------------------------------------------ building

CControl* Riv303Uru::control(int32_t tag) const {
    return tag >= 0 && tag < kMaxTag ? controls_[static_cast<size_t>(tag)] : nullptr;
}

bool Riv303Uru::elementUsable(int32_t tag) const { return skin_.frameCount(tag) >= 1; }

CBitmap* Riv303Uru::bitmapOf(int32_t tag) const { return skinBitmap(skin_.bitmap(tag)); }

CRect Riv303Uru::rectOf(int32_t tag) const { return toRect(skin_.rect(tag)); }

void Riv303Uru::add(CControl* c) {
    panel_->addView(c);
    const int32_t tag = c->getTag();
    if (tag >= 0 && tag < kMaxTag) controls_[static_cast<size_t>(tag)] = c;
}

void Riv303Uru::buildError() {
    if (buildErrorShown_) return;
    buildErrorShown_ = true;
    ask("Error in Skin definition", "Error", false, nullptr);
}

void Riv303Uru::buildKnob(int32_t tag) {
    if (!elementUsable(tag)) return;
    const CRect r = rectOf(tag);
    auto* knob = new CMyAnimKnob(r, this, tag, skin_.frameCount(tag), int32_t(r.getHeight()), bitmapOf(tag));
    knob->setDefaultValue(0.1f);
    knob->setZoomFactor(2.0f);
    knob->setDragRange(settings_.knobSensitivity);
    add(knob);
}

void Riv303Uru::buildMovie(int32_t tag) {
    if (!elementUsable(tag)) return;
    const CRect r = rectOf(tag);
    add(new CMovieBitmap(r, this, tag, skin_.frameCount(tag), r.getHeight(), bitmapOf(tag)));
}

void Riv303Uru::buildKick(int32_t tag) {
    if (!elementUsable(tag)) return;
    const CRect r = rectOf(tag);
    add(new CKickButton(r, this, tag, r.getHeight(), bitmapOf(tag)));
}

void Riv303Uru::buildOnOff(int32_t tag) {
    if (elementUsable(tag)) add(new COnOffButton(rectOf(tag), this, tag, bitmapOf(tag)));
}

void Riv303Uru::buildRocker(int32_t tag) {
    if (!elementUsable(tag)) return;
    CBitmap* b = bitmapOf(tag);
    // Vertical: the upper half counts up.
    add(new CRockerSwitch(rectOf(tag), this, tag, b->getHeight() / 3, b, CPoint(0, 0), kVertical));
}

void Riv303Uru::buildIllu(int32_t tag) {
    if (!elementUsable(tag)) return;
    const CRect r = rectOf(tag);
    add(new CIlluButton(r, this, tag, r.getHeight(), bitmapOf(tag)));
}

void Riv303Uru::buildDigits(int32_t tag) {
    const SkinDigitLayout layout = skinDigitLayout(tag);
    if (!skin_.element(tag)) return;
    bool digitsThere = elementUsable(tag);
    for (int i = 0; i < layout.count; ++i) digitsThere = digitsThere && elementUsable(layout.digitTags[size_t(i)]);
    if (!digitsThere) {
        buildError();
        return;
    }
    auto* d = new CScrollMultipleDigits(rectOf(tag), this, tag, layout.count, 0.25f);
    for (int i = 0; i < layout.count; ++i)
        d->setDigit(i, rectOf(layout.digitTags[size_t(i)]), bitmapOf(layout.digitTags[size_t(i)]));
    add(d);
}

void Riv303Uru::buildControls() {
    for (int32_t tag : kKnobTags) buildKnob(tag);
    for (int32_t tag = NOTELED1; tag <= TRIPLETLED; ++tag) buildMovie(tag);
    for (int32_t tag : kKickTags) buildKick(tag);
    menus_.build();
    buildIllu(PATTERNMENU);
    buildIllu(OPTIONMENU);
    for (int32_t tag : {PATTERNROCKER, TEMPOROCKER, STEPSROCKER}) buildRocker(tag);
    buildMovie(MIDILED);
    buildOnOff(SYNCSWITCH);
    buildOnOff(MODESWITCH);

    // The hidden beetle, at the lower left; three frames of 11 pixels.
    auto* bugBitmap = new CBitmap(CResourceDescription("bug.png"));
    if (bugBitmap->isLoaded()) {
        const CCoord h = bugBitmap->getHeight() / 3;
        const CCoord bottom = panel_->getHeight();
        auto* bug = new CAnimSprite(CRect(0, bottom - h, bugBitmap->getWidth(), bottom), this, kBugSpriteTag, bugBitmap);
        bug->setStep(int32_t(h));
        bug->setMouseEnabled(false);
        add(bug);
    }
    bugBitmap->forget();

    for (int32_t tag : kIlluTags) buildIllu(tag);
    buildKick(FUNCTIONBUTTON1);
    buildKick(FUNCTIONBUTTON2);
    buildMovie(FUNCTIONLED1);
    buildMovie(FUNCTIONLED2);
    buildKick(TRIPLETBUTTON);
    buildIllu(TRIPLETILLUBUTTON);

    if (elementUsable(PATCHDISPLAY)) {
        auto* name = new CTextDisplay(rectOf(PATCHDISPLAY), this, PATCHDISPLAY, "", bitmapOf(PATCHDISPLAY),
                                      kNoFrame);
        name->setFont(kNormalFontSmall);
        name->setFontColor(kWhiteCColor);
        name->setHoriAlign(kLeftText);
        name->setTextInset(CPoint(4, 0));
        add(name);
    }
    buildKick(PATCHBUTTON);
    for (int32_t tag : kDigitTags) buildDigits(tag);
    for (int32_t tag : kParamSwitchTags) buildOnOff(tag);
    buildLearnLabels();

    if (elementUsable(SKINSPLASH)) {
        auto* sprite = new CAnimSprite(rectOf(SKINSPLASH), this, SKINSPLASH, bitmapOf(SKINSPLASH));
        add(sprite);
        sprite->show();
        sprite->startAnimation(kRepeatMs, 0, 0, true);
    }

    if (elementUsable(SPLASH)) {
        auto* picture = new CBitmap(CResourceDescription("splashscreen.png"));
        if (picture->isLoaded()) {
            const CRect frameSize = panel_->getViewSize();
            CRect openRect(0, 0, picture->getWidth(), picture->getHeight());
            openRect.offset(std::max<CCoord>(0, (frameSize.getWidth() - openRect.getWidth()) / 2),
                            std::max<CCoord>(0, (frameSize.getHeight() - openRect.getHeight()) / 2));
            add(new CMySplashScreen(rectOf(SPLASH), this, SPLASH, picture, openRect));
        }
        picture->forget();
    }
}

void Riv303Uru::buildLearnLabels() {
    std::vector<std::pair<int32_t, int32_t>> wanted; // (learn index, tag)
    for (int p : kLearnParameters) wanted.emplace_back(p, tagOfParameter(p));
    for (int32_t tag = NOTEBUTTON1; tag <= B_NEXT; ++tag)
        if (tag != 316) wanted.emplace_back(tag - NOTEBUTTON1 + 13, tag);
    for (int32_t tag = ILLUBUTTON1; tag <= ILLUBUTTON20; ++tag)
        if (illuCode(tag) >= 0) wanted.emplace_back(illuCode(tag) + 13, tag);

    const bool backdrop = elementUsable(MIDICCBOX);
    const CRect box = rectOf(MIDICCBOX);
    for (const auto& [index, tag] : wanted) {
        CControl* target = control(tag);
        if (!target) continue;
        if (!backdrop) {
            buildError();
            return;
        }
        // One line, centred over the control, a little above its middle.
        const CPoint anchor(std::floor(target->getViewSize().getCenter().x),
                            std::floor(target->getViewSize().getCenter().y) - 6);
        auto* label = new CFloatingDisplay(CRect(anchor, box.getSize()), nullptr, MIDICCBOX, bitmapOf(MIDICCBOX));
        label->setLineCount(1);
        label->fitToText();
        panel_->addView(label);
        learnLabels_.push_back({index, tag, label});
    }
}

// ------------------------------------------------------------------------------ refreshing

void Riv303Uru::setValueUnlessEditing(int32_t tag, float value) {
    CControl* c = control(tag);
    if (c && !c->isEditing() && c->getValue() != value) c->setValue(value);
}

void Riv303Uru::setLit(int32_t tag, bool lit) {
    if (auto* key = dynamic_cast<CIlluButton*>(control(tag)); key && key->isLit() != lit) key->setLit(lit);
}

void Riv303Uru::setLed(int32_t tag, bool on) { setValueUnlessEditing(tag, on ? 1.0f : 0.0f); }

void Riv303Uru::parameterChanged(VstInt32 index) {
    if (!open_) return;
    const int32_t tag = tagOfParameter(index);
    if (tag >= 0) setValueUnlessEditing(tag, plugin_.getParameter(index));
}

void Riv303Uru::applyParameters() {
    for (int p : kLearnParameters) setValueUnlessEditing(tagOfParameter(p), plugin_.getParameter(p));
}

void Riv303Uru::fullRefresh() {
    if (open_) applyState(true);
}

void Riv303Uru::applyState(bool parameters) {
    const PanelState& s = shown_;
    if (parameters) applyParameters();
    setValueUnlessEditing(SHUFFLEKNOB, float(s.pattern.shuffle()) / 127.0f);
    setValueUnlessEditing(PATTERNDIGITS, float(s.currentPattern));
    setValueUnlessEditing(TEMPODIGITS, float(std::floor(s.tempo)));
    setValueUnlessEditing(STEPSDIGITS, float(playedSteps(s.pattern)));
    setValueUnlessEditing(STEPDISPLAY, float(s.editCursor + s.firstStep));
    setLed(SYNCSWITCH, s.syncMode != 0);
    setLed(MODESWITCH, s.midiMode == 1);
    applyLights();
    menus_.refreshLabels();
    refreshLearnLabels();
}

void Riv303Uru::applyLights() {
    const PanelState& s = shown_;
    const uint8_t f = s.editStep().flags;
    int note = s.editStep().note;
    while (note > 12) note -= 12;
    // In 303-style pitch entry the key of the edit step's note blinks.
    const bool blinkNote = s.programmingMode == 1 && s.editAdvance != 0;
    if (!lightShowRunning()) {
        for (int k = 0; k < kLightRows; ++k) {
            const bool on = k == note && (!blinkNote || blinkPhase_);
            setLed(NOTELED1 + k, on);
            setLit(ILLUBUTTON1 + k, on);
        }
    }

    bool lights[6]; // pitch mode, time mode, down, up, accent, slide
    if (s.programmingMode != 1) {
        lights[0] = s.editAdvance != 0;
        lights[1] = f & StepGate;
        lights[2] = f & StepDown;
        lights[3] = f & StepUp;
        lights[4] = f & StepAccent;
        lights[5] = f & StepSlide;
    } else if (s.editAdvance) {
        lights[0] = true;
        lights[1] = false;
        lights[2] = f & StepDown;
        lights[3] = f & StepUp;
        lights[4] = f & StepAccent;
        lights[5] = f & StepSlide;
    } else {
        lights[0] = false;
        lights[1] = true;
        lights[2] = f & StepNoteMark;
        lights[3] = f & StepTie;
        lights[4] = f & StepRestMark;
        lights[5] = false;
    }
    constexpr int32_t kLeds[6] = {PITCHMODELED, TIMEMODELED, DOWNLED, UPLED, ACCENTLED, SLIDELED};
    constexpr int32_t kKeys[6] = {ILLUBUTTON14, ILLUBUTTON16, ILLUBUTTON17, ILLUBUTTON18, ILLUBUTTON19, ILLUBUTTON20};
    for (int i = 0; i < 6; ++i) {
        setLed(kLeds[i], lights[i]);
        setLit(kKeys[i], lights[i]);
    }
    // The run light blinks while the sequencer runs.
    const bool run = s.running != 0 && blinkPhase_;
    setLed(RUNSTOPLED, run);
    setLit(ILLUBUTTON15, run);
    const bool triplet = s.pattern.triplet();
    setLed(TRIPLETLED, triplet);
    setLit(TRIPLETILLUBUTTON, triplet);
    // A function button waiting for its command blinks.
    for (int i = 0; i < 2; ++i) {
        const bool on = menus_.functionButtonWaiting(i) && blinkPhase_;
        setLed(FUNCTIONLED1 + i, on);
        setLit(ILLUBUTTON23 + i, on);
    }
}

void Riv303Uru::refreshLearnLabels() {
    const PanelState& s = shown_;
    for (const LearnLabel& l : learnLabels_) {
        if (!s.learnMode) {
            if (l.display->isShown()) l.display->hide();
            continue;
        }
        std::string text = "--";
        for (int c = 0; c < kCcMapSize; ++c) {
            if (s.ccMap.entries[c] == l.index) {
                char number[8];
                std::snprintf(number, sizeof number, "%2d", c);
                text = number;
                break;
            }
        }
        if (s.midiKeyProgramming && l.index >= 13 && l.index < 40 && s.keyForTarget[l.index] >= 0)
            text = noteName(s.keyForTarget[l.index]);
        if (l.display->getLine(0) != text) {
            l.display->setLine(0, text);
            l.display->fitToText();
        }
        const bool highlight = s.learnParameter >= 0 ? l.index == s.learnParameter : l.index == s.learnCommand;
        if (l.display->isHighlighted() != highlight) l.display->setHighlight(highlight);
        if (!l.display->isShown()) l.display->show();
    }
}

void Riv303Uru::setPatchName(const std::string& name) {
    if (auto* display = dynamic_cast<CTextDisplay*>(control(PATCHDISPLAY))) display->setText(name.c_str());
}

void Riv303Uru::showAbout() {
    if (auto* about = dynamic_cast<CMySplashScreen*>(control(SPLASH)); about && !about->isExpanded()) {
        about->expand();
        about->invalid();
    }
}

void Riv303Uru::openPreferences() {
    if (!preferencesHandler_) return;
    if (analyzerHandler_) analyzerHandler_->close();
    preferencesHandler_->show();
}

void Riv303Uru::openAnalyzer() {
    if (!analyzerHandler_) return;
    if (preferencesHandler_) preferencesHandler_->hide();
    analyzerHandler_->open();
}

// ------------------------------------------------------------------------------ idle

void Riv303Uru::idle() {
    if (!frame || !open_ || inIdle_) return;
    inIdle_ = true;
    platform::services().poll();
    if (open_) {
        applyChangedParameters();
        const uint32_t now = platform::tickCount();

        setLit(PATTERNMENU, menus_.isPoppedUp(EditorMenus::kPatternMenuTag));
        setLit(OPTIONMENU, menus_.isPoppedUp(EditorMenus::kOptionsMenuTag));
        if (auto* about = dynamic_cast<CMySplashScreen*>(control(SPLASH)); about && about->isExpanded())
            about->setVersionText(CMySplashScreen::kVersionText);
        if (auto* bug = dynamic_cast<CAnimSprite*>(control(kBugSpriteTag)); bug && bug->isShown()) bug->nextFrame();
        if (skin_.settings.crossFade != 0) {
            for (int32_t tag : kIlluTags) {
                if (auto* key = dynamic_cast<CIlluButton*>(control(tag))) {
                    key->setFading(true);
                    key->stepFade();
                }
            }
        }
        if (link_.poll()) {
            shown_ = link_.state();
            if (shown_.midiActivity != lastMidiActivity_) {
                lastMidiActivity_ = shown_.midiActivity;
                setLed(MIDILED, true);
                lastMidiLed_ = now;
            }
            applyState(shown_.patternChanged != 0);
        }
        idleTimers(now);
    }
    if (frame) frame->idle();
    inIdle_ = false;
}

void Riv303Uru::idleTimers(uint32_t now) {
    if (now - lastMidiLed_ >= kMidiLedMs) {
        lastMidiLed_ = now;
        if (CControl* led = control(MIDILED); led && led->getValue() == 1.0f) led->setValue(0.0f);
    }
    if (now - lastRepeat_ >= kRepeatMs) {
        lastRepeat_ = now;
        for (size_t i = 0; i < holds_.size();) {
            CControl* c = control(holds_[i].tag);
            if (!c || !c->isEditing()) {
                holds_.erase(holds_.begin() + std::ptrdiff_t(i));
                continue;
            }
            if (reached(now, holds_[i].from)) stepHeld(holds_[i].tag);
            ++i;
        }
    }
    if (lightShow_ < kLightShowFrames && now - lastLightShow_ >= kRepeatMs) {
        lastLightShow_ = now;
        lightShowFrame(lightShow_++);
        if (lightShow_ == kLightShowFrames) fullRefresh();
    }
    if (now - lastBlink_ >= kBlinkMs) {
        lastBlink_ = now;
        blinkPhase_ = !blinkPhase_;
        applyLights();
    }
    if (now - lastRefresh_ >= kRefreshMs) {
        lastRefresh_ = now;
        if (refreshPending_) {
            refreshPending_ = false;
            fullRefresh();
        }
    }
}

void Riv303Uru::lightShowFrame(int frameIndex) {
    const char* row = kLightShow[frameIndex];
    for (int k = 0; k < kLightRows; ++k) {
        setLed(NOTELED1 + k, false);
        setLit(ILLUBUTTON1 + k, row[k] == '1');
    }
}

// A press again before the repeat timer dropped the last hold replaces it: otherwise the old one,
// long due, would repeat at once and on top of the new one.
void Riv303Uru::startHold(int32_t tag) {
    holds_.erase(std::remove_if(holds_.begin(), holds_.end(), [tag](const Hold& h) { return h.tag == tag; }),
                 holds_.end());
    holds_.push_back({tag, platform::tickCount() + kHoldOffMs});
}

void Riv303Uru::stepHeld(int32_t tag) {
    CControl* c = control(tag);
    if (!c) return;
    if (isRocker(tag)) {
        const int delta = -int(c->getValue());
        if (delta == 0) return;
        if (tag == PATTERNROCKER) link_.stepPattern(delta);
        if (tag == TEMPOROCKER) link_.stepTempo(delta);
        if (tag == STEPSROCKER) link_.stepStepCount(delta);
    } else if (isLengthKey(tag) && c->getValue() == c->getMax()) {
        link_.programCommand(illuCode(tag));
    }
}

// ------------------------------------------------------------------------------ controls

void Riv303Uru::beginEdit(int32 tag) {
    const int p = parameterOfTag(tag);
    if (p >= 0 && effect_) effect_->beginEdit(p);
}

void Riv303Uru::endEdit(int32 tag) {
    const int p = parameterOfTag(tag);
    if (p >= 0 && effect_) effect_->endEdit(p);
}

void Riv303Uru::setParameterAutomated(int index, float value) {
    if (effect_) effect_->setParameterAutomated(index, value);
}

void Riv303Uru::valueChanged(CControl* c) {
    if (!open_ || !c) return;
    const int32_t tag = c->getTag();
    const float value = c->getValue();
    const bool pressed = value > 0.0f;

    if (const int p = parameterOfTag(tag); p >= 0) {
        setParameterAutomated(p, value);
        checkEgg();
        return;
    }
    if (tag >= NOTEBUTTON1 && tag <= B_NEXT) {
        if (!pressed) return;
        if (tag == B_PATTERNCLEAR)
            pressClear();
        else
            runStepKey(tag - NOTEBUTTON1);
        return;
    }
    if (isRocker(tag)) {
        if (value == 0.0f) return;
        stepHeld(tag);
        startHold(tag);
        return;
    }
    switch (tag) {
    case SPLASH:
        if (!pressed) c->invalid();
        break;
    case SYNCSWITCH: link_.setSyncMode(value >= 0.5f ? 1 : 0); break;
    case MODESWITCH: link_.setMidiMode(value >= 0.5f ? 1 : 0); break;
    case OPTIONMENU:
        if (value > 0.5f) popupMenu(EditorMenus::kOptionsMenuTag, OPTIONMENU);
        break;
    case PATTERNDIGITS: link_.selectPattern(int(value)); break;
    case TEMPODIGITS: link_.setTempo(std::floor(value)); break;
    case STEPSDIGITS: link_.setStepCount(int(value)); break;
    // The display shows the cursor plus the first step's number: the same offset comes off.
    case STEPDISPLAY: link_.setEditCursor(int(value) - shown_.firstStep); break;
    case SHUFFLEKNOB: link_.setShuffle(int(std::lround(value * 127.0f))); break;
    case PATCHBUTTON:
        if (pressed) {
            const CRect name = rectOf(PATCHDISPLAY);
            const CRect button = rectOf(PATCHBUTTON);
            menus_.popup(EditorMenus::kPatternFileMenuTag, frame,
                         name.isEmpty() ? CPoint(button.left, button.bottom) : CPoint(name.left - 3, name.top + 20));
        }
        break;
    case FUNCTIONBUTTON1:
    case FUNCTIONBUTTON2:
        if (pressed) menus_.runFunctionButton(tag - FUNCTIONBUTTON1);
        break;
    case TRIPLETBUTTON:
        if (pressed) link_.toggleTriplet();
        break;
    case EditorMenus::kPatternMenuTag:
    case EditorMenus::kOptionsMenuTag:
    case EditorMenus::kPatternFileMenuTag:
    case EditorMenus::kSkinMenuTag:
        if (auto* menu = dynamic_cast<COptionMenu*>(c)) menus_.menuChosen(menu);
        break;
    default: break;
    }
    checkEgg();
}

void Riv303Uru::controlBeginEdit(CControl* c) {
    if (!open_ || !c) return;
    const int32_t tag = c->getTag();
    if (isNoteKey(tag)) auditionPress(tag);
    if (isLengthKey(tag)) {
        // The first step at the press, repeats while held (none at the release).
        link_.programCommand(illuCode(tag));
        startHold(tag);
    }
}

void Riv303Uru::controlEndEdit(CControl* c) {
    if (!open_ || !c) return;
    const int32_t tag = c->getTag();
    if (isNoteKey(tag)) auditionRelease();
    // A lit key's command belongs to its release inside, once per click.
    auto* key = dynamic_cast<CIlluButton*>(c);
    if (!key || !key->releasedInside() || isLengthKey(tag)) return;
    if (const int code = illuCode(tag); code >= 0) {
        runStepKey(code);
    } else if (tag == ILLUBUTTON23 || tag == ILLUBUTTON24) {
        menus_.runFunctionButton(tag - ILLUBUTTON23);
    } else if (tag == TRIPLETILLUBUTTON) {
        link_.toggleTriplet();
    } else if (tag == PATTERNMENU) {
        popupMenu(EditorMenus::kPatternMenuTag, PATTERNMENU);
    }
}

CMessageResult Riv303Uru::notify(CBaseObject* sender, IdStringPtr message) {
    if (message != CControl::kMessageValueChanged) return kMessageUnknown;
    if (auto* menu = dynamic_cast<COptionMenu*>(sender)) menus_.menuChosen(menu);
    return kMessageNotified;
}

void Riv303Uru::runStepKey(int code) {
    link_.programCommand(code);
    // The run light follows at the next idle.
    if (code == 14) lastBlink_ = platform::tickCount() - kBlinkMs;
}

void Riv303Uru::pressClear() {
    auto clear = [this](bool yes) {
        if (yes) link_.programCommand(13);
        menus_.cancelWaitingFunctionButton();
    };
    if (settings_.clearConfirm && !shown_.learnMode)
        ask("Clear Pattern", "Are you sure you want to clear the pattern?", true, clear);
    else
        clear(true);
}

void Riv303Uru::auditionPress(int32_t tag) {
    if (!settings_.auditionNotes || shown_.running) return;
    const PatternStep& step = shown_.editStep();
    const int octave = ((step.flags & StepUp) ? 1 : 0) - ((step.flags & StepDown) ? 1 : 0);
    const int key = tag >= ILLUBUTTON1 ? tag - ILLUBUTTON1 : tag - NOTEBUTTON1;
    link_.auditionStart(key + 36 + 12 * octave, (step.flags & StepAccent) ? 127 : 1);
    auditioning_ = true;
}

void Riv303Uru::auditionRelease() {
    if (!auditioning_) return;
    auditioning_ = false;
    link_.auditionStop();
}

void Riv303Uru::checkEgg() {
    if (shown_.eggs <= 0) return;
    for (int p = kTune; p <= kAccent; ++p)
        if (plugin_.getParameter(p) < 1.0f) return;
    auto* bug = dynamic_cast<CAnimSprite*>(control(kBugSpriteTag));
    if (!bug || bug->isShown()) return;
    bug->moveTo(0, int32_t(panel_->getHeight() - bug->getHeight()));
    bug->show();
    bug->startAnimation(kRepeatMs, -1, 0, false, -16);
}

void Riv303Uru::popupMenu(int32_t menuTag, int32_t buttonTag) {
    const CRect button = rectOf(buttonTag);
    menus_.popup(menuTag, frame, CPoint(button.left, button.bottom));
}

// ------------------------------------------------------------------------------ messages

void* Riv303Uru::messageOwner() const {
    return frame && frame->getPlatformFrame() ? frame->getPlatformFrame()->getNativeHandle() : nullptr;
}

void Riv303Uru::ask(const std::string& title, const std::string& text, bool yesNo, std::function<void(bool)> done) {
    platform::MessageRequest request;
    request.kind = yesNo ? platform::MessageKind::kYesNo : platform::MessageKind::kOk;
    request.title = title;
    request.text = text;
    request.owner = messageOwner();
    std::weak_ptr<uint32_t> alive = alive_;
    const uint32_t session = session_;
    platform::services().showMessage(request, [alive, session, done = std::move(done)](platform::MessageAnswer a) {
        const auto current = alive.lock();
        if (!done || !current || *current != session) return;
        done(a == platform::MessageAnswer::kYes);
    });
}

AEffEditor* createEditor(Vez303& plugin) { return new Riv303Uru(plugin); }

} // namespace kelo
