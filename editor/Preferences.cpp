#include "editor/Preferences.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "editor/Menus.h"
#include "editor/Riv303Uru.h"
#include "editor/controls/PanelBuilder.h"
#include "editor/controls/TextControls.h"
#include "files/EditorSettingsFile.h"
#include "files/EngineSettingsFile.h"
#include "platform/Platform.h"
#include "plugin/Vez303.h"
#include "toolkit/CViewContainer.h"
#include "toolkit/controls/CParamDisplay.h"

namespace kelo {

using namespace gui;
using P = PreferencesHandler;

namespace {

const PanelElement kRows[] = {
    {kPanelTitle, 0, "Preferences", 20, 8, 400, 32},
    {kPanelSmallKnob, P::kPreGainKnob, nullptr, 300, 120, 33, 33},
    {kPanelKnobCaption, P::kPreGainValue, "Pre-gain", 283, 153, 66, 16},
    {kPanelKnobCaption, P::kPreGainValue, "Pre-gain", 283, 169, 66, 16},
    {kPanelSmallKnob, P::kFilterVccKnob, nullptr, 360, 120, 33, 33},
    {kPanelKnobCaption, P::kFilterVccValue, "Filter Vcc", 343, 153, 66, 16},
    {kPanelKnobCaption, P::kFilterVccValue, "Filter Vcc", 343, 169, 66, 16},
    {kPanelSmallKnob, P::kVcfFreqKnob, nullptr, 420, 120, 33, 33},
    {kPanelKnobCaption, P::kVcfFreqValue, "VCF Freq", 403, 153, 66, 16},
    {kPanelKnobCaption, P::kVcfFreqValue, "VCF Freq", 403, 169, 66, 16},
    {kPanelSmallKnob, P::kVcoTuningKnob, nullptr, 300, 190, 33, 33},
    {kPanelKnobCaption, P::kVcoTuningValue, "VCO Tuning", 283, 223, 66, 16},
    {kPanelKnobCaption, P::kVcoTuningValue, "VCO Tuning", 283, 239, 66, 16},
    {kPanelHeading, 0, "General", 50, 48, 200, 16},
    {kPanelCheckBox, P::kClearConfirm, "Clear confirm", 50, 64, 200, 16},
    {kPanelCheckBox, P::kAuditionNotes, "Audition notes", 50, 80, 200, 16},
    {kPanelCheckBox, P::kClearNotes, "Clear notes on", 50, 96, 200, 16},
    {kPanelCheckBox, P::kProgrammingMode, "303 Style programming mode", 50, 112, 200, 16},
    {kPanelCheckBox, P::kLoadParameters, "Load parameters with pattern", 50, 128, 200, 16},
    {kPanelCheckBox, P::kLoadDefaultBank, "Load default bank on Start", 50, 144, 200, 16},
    {kPanelCheckBox, P::kSyncToHost, "Sync to Host tempo", 50, 176, 200, 16},
    {kPanelCheckBox, P::kStandardTuning, "Standard Tuning", 50, 192, 200, 16},
    {kPanelCheckBox, P::kNoteMode, "Note Mode", 50, 208, 200, 16},
    {kPanelHeading, 0, "Emulation", 300, 48, 200, 16},
    {kPanelCheckBox, P::kFilter24, "24dB (less overtone)", 300, 64, 200, 16},
    {kPanelCheckBox, P::kFilter18, "18dB (303 emulated)", 300, 80, 200, 16},
    {kPanelCheckBox, P::kFilter18Pure, "18dB Pure (more overtone", 300, 96, 200, 16},
    {kPanelHeading, 0, "MIDI", 500, 48, 200, 16},
    {kPanelCheckBox, P::kVolumeLeveling, "Volume Leveling", 300, 256, 200, 16},
    {kPanelCheckBox, P::kVcaClicks, "VCA Clicks", 300, 272, 200, 16},
    {kPanelCheckBox, P::kNonlinearVca, "Nonlinear VCA", 300, 288, 200, 16},
    {kPanelCheckBox, P::kMidiOutput, "MIDI Output Enabled", 500, 64, 200, 16},
    {kPanelValueLabel, 0, "Accent Level", 500, 80, 90, 20},
    {kPanelSpinBox, P::kAccentLevel, nullptr, 600, 80, 67, 18},
    {kPanelValueLabel, 0, "Output Channel", 500, 96, 90, 20},
    {kPanelSpinBox, P::kOutputChannel, nullptr, 600, 96, 67, 18},
    {kPanelTextButton, P::kReset, "Reset", 500, 230, 160, 20},
    {kPanelTextButton, P::kSaveDefaults, "Save Defaults", 500, 260, 160, 20},
    {kPanelCloseButton, P::kDone, nullptr, 670, -5, 20, 20},
    {kPanelTextButton, P::kDone, "Done", 500, 290, 160, 20},
};

// What a posted change does. Codes up to kLastField set one setting and are applied the same
// way to the instance and, during drags, to the panel's own copy.
enum Change : int32_t {
    kNothing = 0,
    kClearNotesOn,
    kProgrammingModeOn,
    kLoadParametersOn,
    kLoadDefaultBankOn,
    kVcaLevelingOn,
    kVcaNoiseOn,
    kOutputClippingOn,
    kTuningModeValue,
    kSyncModeOn,
    kFilterModeValue,
    kAccentVelocityValue,
    kVcoTuningAmount,
    kVcoGainAmount,
    kTm6Amount,
    kTm3Amount,
    kLastField = kTm3Amount,
    kMidiOutputOn,
    kMidiChannelValue,
    kResetAll,
};
// Set in the change word when the settings are to be copied back to the panel.
constexpr int32_t kCopyBack = 0x100;

void setField(EngineSettings& e, int32_t what, int32_t value, double amount) {
    switch (what) {
    case kClearNotesOn: e.clearNotes = value; break;
    case kProgrammingModeOn: e.programmingMode = value; break;
    case kLoadParametersOn: e.loadParameters = value; break;
    case kLoadDefaultBankOn: e.loadDefaultBank = value; break;
    case kVcaLevelingOn: e.vcaLeveling = value; break;
    case kVcaNoiseOn: e.vcaNoise = value; break;
    case kOutputClippingOn: e.outputClipping = value; break;
    case kTuningModeValue: e.tuningMode = value; break;
    case kSyncModeOn: e.syncMode = value; break;
    case kFilterModeValue: e.filterMode = value; break;
    case kAccentVelocityValue: e.accentVelocity = value; break;
    case kVcoTuningAmount: e.vcoTuning = float(amount); break;
    case kVcoGainAmount: e.vcoGain = float(amount); break;
    case kTm6Amount: e.tm6 = float(amount); break;
    case kTm3Amount: e.tm3 = float(amount); break;
    default: break;
    }
}

void doChange(void* plugin, const LinkArgs& a) {
    const uint64_t u = uint64_t(uint32_t(a.i[2])) | (uint64_t(uint32_t(a.i[3])) << 32);
    reinterpret_cast<PreferencesHandler*>(static_cast<uintptr_t>(u))->apply(plugin, a);
}

bool isDragControl(int32_t tag) {
    return (tag >= P::kVcoTuningKnob && tag <= P::kVcfFreqKnob) || tag == P::kAccentLevel || tag == P::kOutputChannel;
}

} // namespace

PreferencesHandler::PreferencesHandler(Riv303Uru& editor, CViewContainer* panel) : editor_(editor), panel_(panel) {
    // Held until this handler goes: its controls call it back until then, whoever closes first.
    panel_->remember();
    buildPanel(panel_, this, controls_.data(), kTagCount, kRows, int32_t(std::size(kRows)));
}

PreferencesHandler::~PreferencesHandler() {
    for (CView* v : panel_->children())
        if (auto* c = dynamic_cast<CControl*>(v); c && c->getListener() == this) c->setListener(nullptr);
    panel_->forget();
}

CControl* PreferencesHandler::control(int32_t tag) const {
    return tag >= 0 && tag < kTagCount ? controls_[size_t(tag)] : nullptr;
}

void PreferencesHandler::show() {
    if (shown_) return;
    shown_ = true;
    panel_->setVisible(true);
    copyBack();
    refresh();
}

void PreferencesHandler::hide() {
    if (!shown_) return;
    shown_ = false;
    panel_->setVisible(false);
}

// ------------------------------------------------------------------------------ changes

void PreferencesHandler::apply(void* plugin, const LinkArgs& a) {
    Vez303& v = *static_cast<Vez303*>(plugin);
    EngineSettings& e = v.settings();
    Sequencer& s = v.sequencer();
    const int32_t what = a.i[0] & 0xFF;
    const int32_t value = a.i[1];
    if (what <= kLastField) {
        setField(e, what, value, a.d);
    } else if (what == kMidiOutputOn) {
        if ((e.midiOutput != 0) != (value != 0)) s.setMidiOutput(value != 0);
    } else if (what == kMidiChannelValue) {
        if (value != e.midiOutputChannel) {
            // Notes sounding on the old channel are released there before output moves on.
            if (e.midiOutputActive()) {
                s.setMidiOutput(false);
                e.midiOutput = 1;
            }
            e.midiOutputChannel = value;
        }
    } else if (what == kResetAll) {
        // Output that goes off says All Notes Off first, as every other way of switching it off.
        if (e.midiOutput != 0) s.setMidiOutput(false);
        resetEngineSettings(e);
        s.patternLock = 0;
    }
    if (a.i[0] & kCopyBack) settings_ = e;
}

void PreferencesHandler::change(int32_t what, int32_t value, double amount, bool drag) {
    const auto u = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(this));
    LinkArgs a;
    a.i[0] = what | (drag ? 0 : kCopyBack);
    a.i[1] = value;
    a.i[2] = static_cast<int32_t>(static_cast<uint32_t>(u));
    a.i[3] = static_cast<int32_t>(static_cast<uint32_t>(u >> 32));
    a.d = amount;
    editor_.link().post(&doChange, a);
    if (drag) {
        setField(settings_, what, value, amount);
        if (what == kMidiChannelValue) settings_.midiOutputChannel = value;
    } else {
        // The copy back has been made once this returns.
        editor_.link().sync();
    }
}

void PreferencesHandler::copyBack() { change(kNothing, 0); }

void PreferencesHandler::valueChanged(CControl* c) {
    if (!shown_ || !c) return;
    const int32_t tag = c->getTag();
    const float v = c->getValue();
    // A box's value after the click is what the user asked for.
    const int32_t on = v > 0.5f ? 1 : 0;
    const bool drag = isDragControl(tag) && c->isEditing();
    switch (tag) {
    case kClearConfirm: editor_.settings().clearConfirm = on; break;
    case kAuditionNotes: editor_.settings().auditionNotes = on; break;
    case kClearNotes: change(kClearNotesOn, on); break;
    case kProgrammingMode: change(kProgrammingModeOn, on); break;
    case kLoadParameters: change(kLoadParametersOn, on); break;
    case kLoadDefaultBank: change(kLoadDefaultBankOn, on); break;
    case kFilter24:
    case kFilter18:
    case kFilter18Pure: change(kFilterModeValue, tag - kFilter24); break;
    case kVcoTuningKnob: change(kVcoTuningAmount, 0, v, drag); break;
    case kPreGainKnob: change(kVcoGainAmount, 0, double(v) * 2.0 + 1.0, drag); break;
    case kFilterVccKnob: change(kTm6Amount, 0, v, drag); break;
    case kVcfFreqKnob: change(kTm3Amount, 0, v, drag); break;
    case kVolumeLeveling: change(kVcaLevelingOn, on); break;
    case kVcaClicks: change(kVcaNoiseOn, on); break;
    case kNonlinearVca: change(kOutputClippingOn, on); break;
    case kStandardTuning: change(kTuningModeValue, on ? 0 : 1); break;
    case kSyncToHost: change(kSyncModeOn, on); break;
    case kNoteMode:
        // The editor's own mode switch: it releases the voice and stops what note mode can't play.
        editor_.link().setMidiMode(on);
        copyBack();
        break;
    case kMidiOutput: change(kMidiOutputOn, on); break;
    case kReset:
        if (v <= 0.0f) return;
        resetAll();
        break;
    case kSaveDefaults:
        if (v > 0.0f) saveDefaults();
        return;
    case kAccentLevel:
        // Rounded toward zero; the small allowance keeps n / 127 reading back as n.
        change(kAccentVelocityValue, std::clamp(int32_t(double(v) * 127.0 + 1e-4), 0, 127), 0.0, drag);
        break;
    case kOutputChannel: change(kMidiChannelValue, std::clamp(int32_t(double(v) * 16.0 - 1.0), -1, 15), 0.0, drag); break;
    case kDone:
        if (v > 0.0f) hide();
        return;
    default: return;
    }
    refresh();
    if (tag == kStandardTuning || tag == kSyncToHost || tag == kNoteMode || tag == kReset) editor_.fullRefresh();
}

void PreferencesHandler::controlEndEdit(CControl* c) {
    if (!shown_ || !c || !isDragControl(c->getTag())) return;
    copyBack();
    refresh();
}

void PreferencesHandler::resetAll() {
    editor_.link().setMidiMode(0);
    change(kResetAll, 0);
    EditorSettings& look = editor_.settings();
    const std::string skin = look.skin;
    look = EditorSettings{};
    editor_.menus().cancelWaitingFunctionButton();
    // The open panel keeps its look; the next opening shows the default skin.
    if (look.skin != skin) editor_.loadSkin(look.skin);
}

void PreferencesHandler::saveDefaults() {
    copyBack();
    const std::string& folder = editor_.plugin().dataFolder();
    bool saved = !folder.empty() && platform::ensureFolder(folder);
    saved = saved && writeEngineSettings(settings_, folder + "Config.ini");
    saved = saved && writeEditorSettings(editor_.settings(), folder + "Gui.ini");
    if (!saved)
        editor_.ask("Orvanta KELO", "Could not save the defaults (Config.ini and Gui.ini) in\n" + folder, false,
                    nullptr);
}

// ------------------------------------------------------------------------------ refresh

void PreferencesHandler::setChecked(int32_t tag, bool on) {
    CControl* c = control(tag);
    const float v = on ? 1.0f : 0.0f;
    // Also while the box is being clicked: a click on the ticked radio box leaves it ticked.
    if (c && c->getValue() != v) {
        c->setValue(v);
        c->invalid();
    }
}

void PreferencesHandler::setKnob(int32_t knob, int32_t caption, float value) {
    if (CControl* c = control(knob); c && !c->isEditing()) {
        const float shown = std::clamp(value, 0.0f, 1.0f);
        if (c->getValue() != shown) {
            c->setValue(shown);
            c->invalid();
        }
    }
    if (auto* label = dynamic_cast<CTextLabel*>(control(caption))) {
        char text[16];
        std::snprintf(text, sizeof text, "%3d%%", int(value * 100.0f));
        if (label->getText() != text) label->setText(text);
    }
}

void PreferencesHandler::refresh() {
    const EngineSettings& e = settings_;
    const EditorSettings& look = editor_.settings();
    setChecked(kClearConfirm, look.clearConfirm > 0);
    setChecked(kAuditionNotes, look.auditionNotes > 0);
    setChecked(kClearNotes, e.clearNotes > 0);
    setChecked(kProgrammingMode, e.programmingMode > 0);
    setChecked(kLoadParameters, e.loadParameters > 0);
    setChecked(kLoadDefaultBank, e.loadDefaultBank > 0);
    setChecked(kFilter24, e.filterMode == 0);
    setChecked(kFilter18, e.filterMode == 1);
    setChecked(kFilter18Pure, e.filterMode == 2);
    setChecked(kVolumeLeveling, e.vcaLeveling > 0);
    setChecked(kVcaClicks, e.vcaNoise > 0);
    setChecked(kNonlinearVca, e.outputClipping > 0);
    setChecked(kStandardTuning, e.tuningMode == 0);
    setChecked(kSyncToHost, e.syncMode > 0);
    setChecked(kNoteMode, e.midiMode > 0);
    setChecked(kMidiOutput, e.midiOutput > 0);
    setKnob(kVcoTuningKnob, kVcoTuningValue, e.vcoTuning);
    setKnob(kPreGainKnob, kPreGainValue, (e.vcoGain - 1.0f) * 0.5f);
    setKnob(kFilterVccKnob, kFilterVccValue, e.tm6);
    setKnob(kVcfFreqKnob, kVcfFreqValue, e.tm3);

    char text[16];
    if (auto* spin = dynamic_cast<CMySpinBox*>(control(kOutputChannel))) {
        const int32_t channel = e.midiOutputChannel;
        if (channel < 0)
            spin->setText("--");
        else {
            std::snprintf(text, sizeof text, "%2d", int(channel + 1));
            spin->setText(text);
        }
        if (!spin->isEditing()) spin->setValue(std::clamp(float(channel + 1) * 0.0625f, 0.0f, 1.0f));
    }
    if (auto* spin = dynamic_cast<CMySpinBox*>(control(kAccentLevel))) {
        std::snprintf(text, sizeof text, "%3d", int(e.accentVelocity));
        spin->setText(text);
        if (!spin->isEditing()) spin->setValue(std::clamp(float(e.accentVelocity) / 127.0f, 0.0f, 1.0f));
    }
    panel_->invalid();
}

} // namespace kelo
