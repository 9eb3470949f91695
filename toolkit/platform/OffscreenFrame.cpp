#include "toolkit/platform/OffscreenFrame.h"

#include "toolkit/platform/IPlatformFactory.h"

namespace kelo::gui {

std::unique_ptr<OffscreenFrame> OffscreenFrame::create(IPlatformFrameCallback& callback, const CRect& size) {
    const int w = static_cast<int>(size.getWidth());
    const int h = static_cast<int>(size.getHeight());
    if (w <= 0 || h <= 0) return nullptr;
    auto context = getPlatformFactory().createOffscreenContext(w, h);
    if (!context) return nullptr;
    return std::unique_ptr<OffscreenFrame>(new OffscreenFrame(callback, std::move(context)));
}

OffscreenFrame::OffscreenFrame(IPlatformFrameCallback& callback, std::unique_ptr<IPlatformOffscreenContext> context)
    : callback_(callback), context_(std::move(context)) {}

void OffscreenFrame::invalidRect(const CRect& rect) {
    invalid_.unite(rect);
    invalidations_.push_back(rect);
}

void OffscreenFrame::presentInvalid() {
    CRect r = invalid_;
    invalid_ = CRect();
    r.bound(context_->getSurfaceRect());
    if (r.isEmpty()) return;
    ++paints_;
    callback_.platformDrawRect(*context_, r);
}

void OffscreenFrame::setSize(const CRect& size) {
    const int w = static_cast<int>(size.getWidth());
    const int h = static_cast<int>(size.getHeight());
    if (w <= 0 || h <= 0 || (w == context_->getWidth() && h == context_->getHeight())) return;
    if (auto c = getPlatformFactory().createOffscreenContext(w, h)) context_ = std::move(c);
    invalidRect(CRect(0, 0, w, h));
}

bool OffscreenFrame::getCurrentMousePosition(CPoint& where) const {
    if (mouse_.x < 0 || mouse_.y < 0) return false;
    where = mouse_;
    return true;
}

std::vector<CRect> OffscreenFrame::takeInvalidations() {
    std::vector<CRect> r;
    r.swap(invalidations_);
    return r;
}

} // namespace kelo::gui
