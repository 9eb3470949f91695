#include "editor/controls/CMySplashScreen.h"

#include "platform/Services.h"
#include "toolkit/CBitmap.h"
#include "toolkit/CDrawContext.h"

namespace kelo {

using namespace gui;

namespace {

constexpr CCoord kTextBoxWidth = 280;
constexpr CCoord kTextBoxHeight = 13;
constexpr CCoord kExtraLineBelow = 16;
const std::string kBuiltInVersion = CMySplashScreen::kVersionText;

std::string bounded(std::string_view text) { return std::string(text.substr(0, CMySplashScreen::kMaxTextLength)); }

} // namespace

CMySplashScreen::CMySplashScreen(const CRect& size, IControlListener* listener, int32_t tag, CBitmap* picture,
                                 const CRect& openSize, const CPoint& offset)
    : CControl(size, listener, tag, picture), openRect_(openSize), closedRect_(size), offset_(offset) {
    setWantsIdle(true);
}

CMySplashScreen::~CMySplashScreen() {
    if (credits_) credits_->forget();
}

void CMySplashScreen::place(const CRect& rect) {
    setViewSize(rect);
    setMouseableArea(rect);
}

void CMySplashScreen::expand() {
    if (!isExpanded()) creditsScroll_ = 0;
    place(openRect_);
    value_ = 1;
    setDirty();
}

void CMySplashScreen::collapse() {
    creditsScroll_ = 0;
    place(closedRect_);
    value_ = 0;
    setDirty();
}

void CMySplashScreen::setShortMode(bool state) {
    shortMode_ = state;
    setDirty();
}

void CMySplashScreen::setVersionText(std::string_view text) {
    versionText_ = bounded(text);
    setDirty();
}

void CMySplashScreen::setExtraText(std::string_view text) {
    extraText_ = bounded(text);
    setDirty();
}

const std::string& CMySplashScreen::versionText() const {
    return versionText_.empty() ? kBuiltInVersion : versionText_;
}

void CMySplashScreen::setCreditsImage(CBitmap* image) {
    if (image) image->remember();
    if (credits_) credits_->forget();
    credits_ = image;
    creditsScroll_ = 0;
    setDirty();
}

void CMySplashScreen::setCreditsRect(const CRect& rect) {
    creditsRect_ = rect;
    setDirty();
}

void CMySplashScreen::setVersionTextPlace(int32_t x, int32_t y) {
    versionPlace_ = CPoint(x, y);
    setDirty();
}

void CMySplashScreen::setSecondLinePlace(int32_t x, int32_t y) {
    secondLinePlace_ = CPoint(x, y);
    setDirty();
}

void CMySplashScreen::setLink(bool enabled, std::string_view address) {
    linkEnabled_ = enabled;
    linkAddress_ = std::string(address);
}

void CMySplashScreen::scrollCredits(int32_t pixels) {
    creditsScroll_ += pixels;
    const CCoord limit = credits_ ? credits_->getHeight() - creditsRect_.getHeight() : 0;
    if (creditsScroll_ > limit || creditsScroll_ < 0) creditsScroll_ = 0;
    setDirty();
}

void CMySplashScreen::onIdle() {
    if (isExpanded() && credits_ && !creditsRect_.isEmpty()) scrollCredits(1);
}

CMouseEventResult CMySplashScreen::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton() && !(anyButton_ && buttons.getButtonState() != 0)) return kMouseEventNotHandled;
    remember(); // the listener may remove the box
    if (isExpanded()) {
        value_ = 0;
        place(closedRect_);
        valueChanged();
        CPoint inFrame = where;
        localToFrame(inFrame);
        if (linkEnabled_ && linkRect_.pointInside(inFrame)) platform::services().openUrl(linkAddress_);
    } else {
        value_ = 1;
        place(openRect_);
        valueChanged();
        creditsScroll_ = 0;
    }
    setDirty();
    invalid();
    if (CView* parent = getParentView()) parent->invalid();
    forget();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

void CMySplashScreen::draw(CDrawContext* context) {
    setMouseableArea(size_);
    if (isExpanded()) {
        const CPoint origin = openRect_.getTopLeft();
        if (background_)
            background_->draw(context, CRect(origin, openRect_.getSize()), offset_);
        context->setFontColor(kWhiteCColor);
        context->setLineWidth(1);
        context->setDrawMode(kAntiAliasing);
        context->setFont(kNormalFont, 12, kBoldFace);
        auto box = [&](const CPoint& at, CCoord w, CCoord h) {
            return CRect(origin.x + at.x, origin.y + at.y, origin.x + at.x + w, origin.y + at.y + h);
        };
        if (shortMode_) {
            secondLinePlace_ = CPoint(25, 160);
            context->drawString(kBuiltInVersion, CRect(origin.x + 25, origin.y + 160, origin.x + 305, origin.y + 173),
                                kCenterText, true);
        } else {
            context->drawString(versionText(), box(versionPlace_, kTextBoxWidth, kTextBoxHeight), kCenterText, true);
            const CPoint extra(secondLinePlace_.x, secondLinePlace_.y + kExtraLineBelow);
            context->drawString(extraText_, box(extra, kTextBoxWidth, kTextBoxHeight), kCenterText, true);
            if (credits_ && !creditsRect_.isEmpty()) {
                CRect r = creditsRect_;
                r.offset(origin.x, origin.y);
                credits_->draw(context, r, CPoint(0, creditsScroll_));
            }
        }
    }
    setDirty(false);
}

} // namespace kelo
