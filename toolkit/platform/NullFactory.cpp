// The factory of platforms without a drawing backend yet: no windows, no surfaces, no fonts,
// bitmaps that only keep their size. Everything that needs more fails with a result, so the
// portable toolkit builds, loads and runs its behaviour there.
#include <vector>

#include "toolkit/platform/IPlatformFactory.h"
#include "toolkit/platform/PolledTimer.h"

namespace kelo::gui {

namespace {

class SizeOnlyBitmap final : public IPlatformBitmap {
public:
    SizeOnlyBitmap(int w, int h) : w_(w), h_(h) {}
    int getWidth() const override { return w_; }
    int getHeight() const override { return h_; }

private:
    int w_;
    int h_;
};

class NullFactory final : public IPlatformFactory {
public:
    std::unique_ptr<IPlatformFrame> createFrame(IPlatformFrameCallback&, const CRect&, void*) override { return nullptr; }
    std::unique_ptr<IPlatformOffscreenContext> createOffscreenContext(int, int) override { return nullptr; }
    std::unique_ptr<IPlatformBitmap> createBitmap(const uint32_t* pixels, int w, int h) override {
        if (!pixels || w <= 0 || h <= 0) return nullptr;
        return std::make_unique<SizeOnlyBitmap>(w, h);
    }
    std::unique_ptr<IPlatformFont> createFont(const char*, CCoord, int32) override { return nullptr; }
    std::unique_ptr<IPlatformTimer> createTimer(uint32_t periodMs, std::function<void()> fire) override {
        return createPolledTimer(periodMs, std::move(fire));
    }
};

} // namespace

IPlatformFactory& getPlatformFactory() {
    static NullFactory factory;
    return factory;
}

} // namespace kelo::gui
