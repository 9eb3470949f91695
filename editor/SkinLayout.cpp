#include "editor/SkinLayout.h"

#include <cstdlib>
#include <set>
#include <vector>

namespace kelo {
namespace {

bool in(int32_t tag, int32_t first, int32_t last) { return tag >= first && tag <= last; }

std::string size(int32_t w, int32_t h) { return std::to_string(w) + " x " + std::to_string(h); }

// Views that take the mouse or cover what is under them (a light in front of a key swallows
// its clicks); digits draw inside their display, sprites and learn labels ignore the mouse.
bool coversMouse(SkinControlKind k) {
    return k != SkinControlKind::None && k != SkinControlKind::Background && k != SkinControlKind::DigitStrip &&
           k != SkinControlKind::Sprite && k != SkinControlKind::LearnLabel;
}

bool overlap(const SkinRect& a, const SkinRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

} // namespace

SkinControlKind skinControlKind(int32_t tag) {
    using K = SkinControlKind;
    using namespace skintag;
    switch (tag) {
    case BACKGROUND: return K::Background;
    case SHUFFLEKNOB: return K::Knob;
    case WAVEFORMSWITCH: case DISTORTIONSWITCH: case HIGHPASS_SWITCH: case SYNCSWITCH: case MODESWITCH:
        return K::OnOffSwitch;
    case TRIPLETBUTTON: case FUNCTIONBUTTON1: case FUNCTIONBUTTON2: case PATCHBUTTON: return K::KickButton;
    case TRIPLETILLUBUTTON: case OPTIONMENU: case PATTERNMENU: return K::IlluButton;
    case FUNCTIONLED1: case FUNCTIONLED2: case MIDILED: return K::Led;
    case PATTERNROCKER: case TEMPOROCKER: case STEPSROCKER: return K::Rocker;
    case PATTERNDIGITS: case TEMPODIGITS: case STEPSDIGITS: case STEPDISPLAY: return K::DigitDisplay;
    case PATCHDISPLAY: return K::TextDisplay;
    case MIDICCBOX: return K::LearnLabel;
    case SKINSPLASH: return K::Sprite;
    case SPLASH: return K::About;
    default: break;
    }
    if (in(tag, TUNINGKNOB, VOLUMEKNOB)) return K::Knob;
    if (in(tag, NOTEBUTTON1, B_NEXT) && tag != 316) return K::KickButton;
    if (in(tag, ILLUBUTTON1, ILLUBUTTON24) && tag != 713) return K::IlluButton;
    if (in(tag, NOTELED1, TRIPLETLED)) return K::Led;
    if (in(tag, STEPSDIGITS10, TEMPODIGITS1)) return K::DigitStrip;
    return K::None;
}

const char* skinControlKindName(SkinControlKind kind) {
    switch (kind) {
    case SkinControlKind::Background: return "the panel background";
    case SkinControlKind::Knob: return "a knob";
    case SkinControlKind::OnOffSwitch: return "an on/off switch";
    case SkinControlKind::KickButton: return "a push button";
    case SkinControlKind::IlluButton: return "a lit key";
    case SkinControlKind::Led: return "a light";
    case SkinControlKind::Rocker: return "a rocker";
    case SkinControlKind::DigitStrip: return "a digit";
    case SkinControlKind::DigitDisplay: return "a digit display";
    case SkinControlKind::TextDisplay: return "the pattern-file name";
    case SkinControlKind::LearnLabel: return "the learn labels";
    case SkinControlKind::Sprite: return "an animation";
    case SkinControlKind::About: return "the about area";
    case SkinControlKind::None: break;
    }
    return "nothing";
}

SkinFrameRule skinFrameRule(SkinControlKind kind) {
    using C = SkinFrameRule::Count;
    switch (kind) {
    case SkinControlKind::Background: return {C::Exactly, 1};
    case SkinControlKind::Knob: return {C::AtLeast, 2};
    case SkinControlKind::OnOffSwitch:
    case SkinControlKind::KickButton: return {C::Exactly, 2};
    case SkinControlKind::IlluButton: return {C::Exactly, 4};
    case SkinControlKind::Led: return {C::AtLeast, 2};
    case SkinControlKind::Rocker: return {C::Exactly, 3};
    case SkinControlKind::DigitStrip: return {C::Exactly, 10};
    case SkinControlKind::Sprite: return {C::AtLeast, 1};
    default: return {};
    }
}

SkinDigitLayout skinDigitLayout(int32_t displayTag) {
    using namespace skintag;
    switch (displayTag) {
    case PATTERNDIGITS: return {3, {PATTERNDIGITS100, PATTERNDIGITS10, PATTERNDIGITS1}};
    case TEMPODIGITS: return {3, {TEMPODIGITS100, TEMPODIGITS10, TEMPODIGITS1}};
    case STEPSDIGITS: return {2, {STEPSDIGITS10, STEPSDIGITS1, 0}};
    case STEPDISPLAY: return {2, {STEPDIGITS10, STEPDIGITS1, 0}};
    default: return {};
    }
}

void checkSkinLayout(const SkinDefinition& def, const std::string& skinFile, SkinDiagnostics& report) {
    using Severity = SkinDiagnostic::Severity;
    const SkinElement* background = def.element(skintag::BACKGROUND);
    const SkinRect panel = def.rect(skintag::BACKGROUND);
    if (!background) {
        report.push_back({Severity::Error, skinFile, 0, "no BACKGROUND element: the editor would have no panel"});
    } else if (panel.width() < kSkinMinWidth || panel.height() < kSkinMinHeight) {
        report.push_back({Severity::Warning, background->sourceFile, background->sourceLine,
                          "the panel is " + size(panel.width(), panel.height()) + "; the preferences and analyzer "
                          "panels need " + size(kSkinMinWidth, kSkinMinHeight)});
    }

    std::set<int32_t> seen;
    std::vector<const SkinElement*> placed; // controls already checked, for overlaps
    for (const SkinElement& e : def.elements) {
        const std::string name = skinTagName(e.tag);
        auto error = [&](const std::string& message) {
            report.push_back({Severity::Error, e.sourceFile, e.sourceLine, "element " + name + ": " + message});
        };
        if (!seen.insert(e.tag).second) {
            report.push_back({Severity::Warning, e.sourceFile, e.sourceLine,
                              "element " + name + " is defined again; only the first one is used"});
            continue;
        }
        const SkinControlKind kind = skinControlKind(e.tag);
        if (kind == SkinControlKind::None) continue;
        const SkinRect r = elementRect(e);
        if (r.width() == 0 || r.height() == 0) {
            error("its rectangle has no " + std::string(r.width() == 0 ? "width" : "height") +
                  ", so the editor makes no control of it");
            continue;
        }
        if (background && kind != SkinControlKind::Background && kind != SkinControlKind::LearnLabel &&
            (r.left < panel.left || r.top < panel.top || r.right > panel.right || r.bottom > panel.bottom)) {
            error("rectangle (" + std::to_string(r.left) + ", " + std::to_string(r.top) + ", " +
                  std::to_string(r.right) + ", " + std::to_string(r.bottom) + ") lies outside the panel (" +
                  size(panel.width(), panel.height()) + ")");
        }
        if (e.bitmapFile.empty()) {
            error("names no bitmap, so the editor makes no control of it");
            continue;
        }
        const SkinImage* image = def.bitmap(e.tag);
        if (!image) continue; // the loader has said why
        const SkinFrameRule rule = skinFrameRule(kind);
        if (rule.count != SkinFrameRule::Count::Any) {
            const int32_t h = r.height();
            const int32_t images = image->height / h;
            const bool fits = image->width == r.width() && image->height % h == 0 &&
                              (rule.count == SkinFrameRule::Count::Exactly ? images == rule.images
                                                                           : images >= rule.images);
            if (!fits) {
                const std::string count = rule.count == SkinFrameRule::Count::Exactly
                                              ? std::to_string(rule.images)
                                              : "at least " + std::to_string(rule.images);
                error("bitmap \"" + e.bitmapFile + "\" is " + size(image->width, image->height) + "; " +
                      skinControlKindName(kind) + " needs " + count + " image" + (rule.images == 1 ? "" : "s") +
                      " of " + size(r.width(), h) + " stacked vertically");
            }
        }
        if (coversMouse(kind)) {
            for (const SkinElement* other : placed) {
                if (overlap(r, elementRect(*other)))
                    report.push_back({Severity::Warning, e.sourceFile, e.sourceLine,
                                      "element " + name + " overlaps " + skinTagName(other->tag) + " (line " +
                                          std::to_string(other->sourceLine) + "): one of them misses clicks"});
            }
            placed.push_back(&e);
        }
        const SkinDigitLayout digits = skinDigitLayout(e.tag);
        for (int32_t i = 0; i < digits.count; ++i) {
            if (!def.element(digits.digitTags[std::size_t(i)]))
                error(std::string("its digit element ") + skinTagName(digits.digitTags[std::size_t(i)]) +
                      " is missing, so the editor makes no display");
        }
    }
}

} // namespace kelo
