#include "toolkit/CFontDesc.h"

#include "toolkit/platform/IPlatformFactory.h"

namespace kelo::gui {

CFontDesc::CFontDesc(const char* name, CCoord size, int32 style) : name_(name ? name : ""), size_(size), style_(style) {}

CFontDesc::CFontDesc(const CFontDesc& other)
    : CBaseObject(), name_(other.name_), size_(other.size_), style_(other.style_) {}

CFontDesc::~CFontDesc() = default;

void CFontDesc::setName(const char* name) {
    name_ = name ? name : "";
    platformFont_.reset();
}

void CFontDesc::setSize(CCoord size) {
    size_ = size;
    platformFont_.reset();
}

void CFontDesc::setStyle(int32 style) {
    style_ = style;
    platformFont_.reset();
}

IPlatformFont* CFontDesc::getPlatformFont() const {
    if (!platformFont_ && size_ > 0) platformFont_ = getPlatformFactory().createFont(name_.c_str(), size_, style_);
    return platformFont_.get();
}

namespace {
// Statics with static storage: they are never forgotten to zero (every user remembers first).
CFontDesc systemFont("Arial", 12);
CFontDesc normalFontVeryBig("Arial", 18);
CFontDesc normalFontBig("Arial", 14);
CFontDesc normalFont("Arial", 12);
CFontDesc normalFontSmall("Arial", 11);
CFontDesc normalFontSmaller("Arial", 10);
CFontDesc normalFontVerySmall("Arial", 9);
CFontDesc symbolFont("Symbol", 13);
} // namespace

const CFontRef kSystemFont = &systemFont;
const CFontRef kNormalFontVeryBig = &normalFontVeryBig;
const CFontRef kNormalFontBig = &normalFontBig;
const CFontRef kNormalFont = &normalFont;
const CFontRef kNormalFontSmall = &normalFontSmall;
const CFontRef kNormalFontSmaller = &normalFontSmaller;
const CFontRef kNormalFontVerySmall = &normalFontVerySmall;
const CFontRef kSymbolFont = &symbolFont;

} // namespace kelo::gui
