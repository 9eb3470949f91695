// "kelo-skin render": the test skin's panel drawn by the editor, read back from the PNG.
#include <gtest/gtest.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include "editor/SkinTags.h"
#include "files/ParameterTable.h"
#include "plugin/Parameters.h"
#include "tools/kelo-skin/ImageInfo.h"
#include "tools/kelo-skin/SkinRender.h"
namespace kelo {
namespace {
namespace fs = std::filesystem;

TEST(SkinRender, DrawsThePanelAsItOpensAndRefusesASkinThatDoesNotLoad) {
    const fs::path skins = fs::path(KELO_SOURCE_DIR) / "tests" / "data" / "skins";
    const fs::path out = fs::temp_directory_path() / "kelo-skin-render-test.png";
    std::string error;
    ASSERT_EQ(renderSkin((skins / "EveryTag.skn").string(), out.string(), error), 0) << error;
    std::ifstream in(out, std::ios::binary);
    const std::string bytes(std::istreambuf_iterator<char>(in), {});
    in.close();
    fs::remove(out);
    int w = 0, h = 0;
    std::vector<uint8_t> rgba;
    ASSERT_TRUE(decodeImage(bytes, w, h, rgba));
    ASSERT_EQ(w * h, 1000 * 620);
    // The Cutoff knob (202, 40 x 40 at 54, 8) shows the frame of the parameter's start value.
    const uint8_t* px = &rgba[(size_t(28) * size_t(w) + 74) * 4];
    EXPECT_EQ(px[0], skintag::CUTOFFKNOB % 256);
    EXPECT_EQ(px[2], 2 * int(kParameterDefaults[kCutoff] * 100.0f) + 1);
    EXPECT_EQ(renderSkin((skins / "NoSuchSkin.skn").string(), out.string(), error), 2);
}
} // namespace
} // namespace kelo
