#pragma once
// The about box: a small clickable area of the editor that a click grows into a larger picture
// with the version text, an optional extra line and a scrolling credits image, and that the
// next click shrinks again. A click in the link area while the box closes opens the link with
// the system's handler (platform services). The value is 1 while open, 0 while closed.
#include <string>
#include <string_view>

#include "toolkit/CControl.h"

namespace kelo {

class CMySplashScreen : public gui::CControl {
public:
    static constexpr const char* kVersionText = "KELO.9.2.3(64-bit)";
    static constexpr size_t kMaxTextLength = 255;

    // `size` is the closed rectangle, `openSize` the open one (both in the parent's
    // coordinates); `picture` is drawn at the open rectangle's top-left from `offset`.
    CMySplashScreen(const gui::CRect& size, gui::IControlListener* listener, int32_t tag, gui::CBitmap* picture,
                    const gui::CRect& openSize, const gui::CPoint& offset = gui::CPoint(0, 0));
    ~CMySplashScreen() override;

    void draw(gui::CDrawContext* context) override;
    gui::CMouseEventResult onMouseDown(gui::CPoint& where, const gui::CButtonState& buttons) override;
    // While open, the credits move up one pixel per idle call.
    void onIdle() override;

    // Accept any mouse button, not only the left one.
    virtual void setAnyButton(bool state) { anyButton_ = state; }
    virtual void expand();
    virtual void collapse();
    virtual bool isExpanded() const { return getValue() > 0; }
    // Only the built-in version text, at a fixed place.
    virtual void setShortMode(bool state);
    // Replaces the built-in version text when not empty; texts are cut at 255 bytes.
    virtual void setVersionText(std::string_view text);
    virtual void setExtraText(std::string_view text);
    // A tall image scrolled through the credits rectangle; remembered.
    virtual void setCreditsImage(gui::CBitmap* image);
    // Relative to the open rectangle's top-left.
    virtual void setCreditsRect(const gui::CRect& rect);
    virtual void setVersionTextPlace(int32_t x, int32_t y);
    virtual void setSecondLinePlace(int32_t x, int32_t y);
    virtual void setLink(bool enabled, std::string_view address);
    // Frame coordinates; left and top edges inside, right and bottom outside.
    virtual void setLinkRect(const gui::CRect& rect) { linkRect_ = rect; }
    // Wraps to 0 once past the credits image's height minus the credits rectangle's.
    virtual void scrollCredits(int32_t pixels);

    // The version text drawn: the set one, or the built-in one.
    const std::string& versionText() const;
    const std::string& extraText() const { return extraText_; }
    int32_t getCreditsScroll() const { return creditsScroll_; }
    const gui::CRect& getOpenRect() const { return openRect_; }
    const gui::CRect& getClosedRect() const { return closedRect_; }
    bool isShortMode() const { return shortMode_; }

private:
    void place(const gui::CRect& rect);

    gui::CRect openRect_;
    gui::CRect closedRect_;
    gui::CRect creditsRect_;
    gui::CRect linkRect_;
    gui::CPoint offset_;
    gui::CPoint versionPlace_{17, 160};
    gui::CPoint secondLinePlace_{17, 110};
    gui::CBitmap* credits_ = nullptr; // remembered
    std::string linkAddress_;
    std::string versionText_;
    std::string extraText_;
    int32_t creditsScroll_ = 0;
    bool linkEnabled_ = false;
    bool anyButton_ = false;
    bool shortMode_ = false;
};

} // namespace kelo
