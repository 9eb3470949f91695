#include "toolkit/controls/CMovieBitmap.h"

#include "toolkit/CBitmap.h"

namespace kelo::gui {

CMovieBitmap::CMovieBitmap(const CRect& size, IControlListener* listener, int32 tag, CBitmap* background,
                           const CPoint& offset)
    : CControl(size, listener, tag, background), offset_(offset), heightOfOneImage_(size.getHeight()) {
    if (background && heightOfOneImage_ > 0)
        subPixmaps_ = static_cast<int32>(background->getHeight() / heightOfOneImage_);
}

CMovieBitmap::CMovieBitmap(const CRect& size, IControlListener* listener, int32 tag, int32 subPixmaps,
                           CCoord heightOfOneImage, CBitmap* background, const CPoint& offset)
    : CControl(size, listener, tag, background), offset_(offset), subPixmaps_(subPixmaps),
      heightOfOneImage_(heightOfOneImage) {}

CCoord CMovieBitmap::frameOffset() const {
    if (subPixmaps_ < 1) return offset_.y;
    // Rounded, unlike the knobs.
    const int frame = static_cast<int>(getValueNormalized() * (subPixmaps_ - 1) + 0.5f);
    return offset_.y + frame * heightOfOneImage_;
}

void CMovieBitmap::draw(CDrawContext* context) {
    bounceValue();
    if (background_) background_->draw(context, size_, CPoint(offset_.x, frameOffset()));
    setDirty(false);
}

} // namespace kelo::gui
