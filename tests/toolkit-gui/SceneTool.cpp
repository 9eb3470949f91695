// toolkit-scene: the test scene rendered offscreen by this platform's backend.
//
//   toolkit-scene render <out.png>
//   toolkit-scene compare <screenshot.png> <x> <y>
//       exit 0 when every pixel of the scene's bitmap regions equals the screenshot's at
//       (x, y) + the pixel's position; otherwise lists the differences and exits 1.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/PngDump.h"
#include "support/TestScene.h"
#include "toolkit/platform/OffscreenFrame.h"

using namespace kelo::gui;
using namespace kelo::gui::test;

int main(int argc, char** argv) {
    const std::string mode = argc > 1 ? argv[1] : "";
    if (!((mode == "render" && argc == 3) || (mode == "compare" && argc == 5))) {
        std::fprintf(stderr, "usage: toolkit-scene render <out.png> | compare <screenshot.png> <x> <y>\n");
        return 2;
    }
    auto* frame = new CFrame(CRect(0, 0, TestScene::kWidth, TestScene::kHeight), nullptr);
    if (!frame->openOffscreen() || !TestScene::build(frame, nullptr)) {
        std::fprintf(stderr, "cannot render the scene here\n");
        return 2;
    }
    frame->idle();
    IPlatformOffscreenContext& s = frame->getOffscreenFrame()->context();
    int status = 0;
    if (mode == "render") {
        status = writePng(argv[2], s.getPixels(), s.getWidth(), s.getHeight()) ? 0 : 2;
    } else {
        Image shot;
        if (!readPng(argv[2], shot)) {
            std::fprintf(stderr, "cannot read %s\n", argv[2]);
            frame->close();
            return 2;
        }
        const int ox = std::atoi(argv[3]);
        const int oy = std::atoi(argv[4]);
        long compared = 0;
        long different = 0;
        for (const CRect& r : TestScene::bitmapRegions())
            for (int y = int(r.top); y < int(r.bottom); ++y)
                for (int x = int(r.left); x < int(r.right); ++x) {
                    const int sx = ox + x;
                    const int sy = oy + y;
                    if (sx < 0 || sy < 0 || sx >= shot.width || sy >= shot.height) {
                        ++different;
                        continue;
                    }
                    ++compared;
                    const uint32_t want = s.getPixels()[size_t(y) * size_t(s.getWidth()) + size_t(x)] & 0xffffffu;
                    const uint32_t got = shot.at(sx, sy) & 0xffffffu;
                    if (want != got && ++different <= 10)
                        std::printf("differs at %d,%d: rendered %06x, screen %06x\n", x, y, want, got);
                }
        std::printf("%ld pixels compared, %ld differ\n", compared, different);
        status = different == 0 && compared > 0 ? 0 : 1;
    }
    frame->close();
    return status;
}
