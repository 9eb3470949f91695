#pragma once
// A font by family name, pixel size and style. Every name resolves to the bundled family
// (DejaVu Sans, bold with kBoldFace), so "Arial", "Verdana" and the standard fonts all look the
// same everywhere.
#include <memory>
#include <string>

#include "toolkit/CBaseObject.h"

namespace kelo::gui {

class IPlatformFont;

class CFontDesc : public CBaseObject {
public:
    CFontDesc(const char* name = "", CCoord size = 0, int32 style = 0);
    CFontDesc(const CFontDesc& other);
    ~CFontDesc() override;

    const std::string& getName() const { return name_; }
    CCoord getSize() const { return size_; }
    int32 getStyle() const { return style_; }
    void setName(const char* name);
    void setSize(CCoord size);
    void setStyle(int32 style);

    // The backend's font, made on first use; null when the platform has no fonts.
    IPlatformFont* getPlatformFont() const;

    bool operator==(const CFontDesc& other) const {
        return name_ == other.name_ && size_ == other.size_ && style_ == other.style_;
    }

private:
    std::string name_;
    CCoord size_;
    int32 style_;
    mutable std::unique_ptr<IPlatformFont> platformFont_;
};

using CFontRef = CFontDesc*;

// The standard fonts (Arial 12/18/14/12/11/10/9 and Symbol 13 by name).
extern const CFontRef kSystemFont;
extern const CFontRef kNormalFontVeryBig;
extern const CFontRef kNormalFontBig;
extern const CFontRef kNormalFont;
extern const CFontRef kNormalFontSmall;
extern const CFontRef kNormalFontSmaller;
extern const CFontRef kNormalFontVerySmall;
extern const CFontRef kSymbolFont;

} // namespace kelo::gui
