#pragma once
// A frame window in memory: the same views render into an offscreen context of the current
// factory, with no window system. Tests, tools and benchmarks open frames in it.
#include <cstdint>
#include <memory>
#include <vector>

#include "toolkit/platform/IPlatformDrawContext.h"
#include "toolkit/platform/IPlatformFrame.h"

namespace kelo::gui {

class OffscreenFrame : public IPlatformFrame {
public:
    // Null when the factory has no offscreen context.
    static std::unique_ptr<OffscreenFrame> create(IPlatformFrameCallback& callback, const CRect& size);

    void invalidRect(const CRect& rect) override;
    void pollEvents() override {}
    void presentInvalid() override;
    void setSize(const CRect& size) override;
    bool getCurrentMousePosition(CPoint& where) const override;
    void setTextInputFocus(bool on) override { textInput_ = on; }
    void* getNativeHandle() const override { return nullptr; }
    bool isAlive() const override { return true; }

    IPlatformOffscreenContext& context() { return *context_; }
    // What is invalid and not yet painted (frame coordinates, one bounding rectangle).
    const CRect& invalidArea() const { return invalid_; }
    // Rectangles passed to invalidRect since the last call.
    std::vector<CRect> takeInvalidations();
    // How many platformDrawRect calls presentInvalid made so far.
    int paintCount() const { return paints_; }
    bool textInputFocus() const { return textInput_; }
    void setMousePosition(const CPoint& where) { mouse_ = where; }

private:
    OffscreenFrame(IPlatformFrameCallback& callback, std::unique_ptr<IPlatformOffscreenContext> context);

    IPlatformFrameCallback& callback_;
    std::unique_ptr<IPlatformOffscreenContext> context_;
    CRect invalid_;
    std::vector<CRect> invalidations_;
    CPoint mouse_{-1, -1};
    int paints_ = 0;
    bool textInput_ = false;
};

} // namespace kelo::gui
