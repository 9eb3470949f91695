// The replaceable services: folder listing and the clock seam.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "platform/Platform.h"
#include "platform/Services.h"
#include "tests/support/FakeServices.h"

namespace fs = std::filesystem;
using namespace kelo::platform;

TEST(PlatformServices, FolderListingMarksRealFoldersOnly) {
    const fs::path dir = fs::temp_directory_path() / ("kelo-services-" + std::to_string(tickCount()));
    fs::remove_all(dir);
    fs::create_directories(dir / "sub");
    std::ofstream(dir / "a.pat") << "x";
    std::error_code ec;
    fs::create_directory_symlink(dir / "sub", dir / "link", ec); // may be refused (Windows without rights)
    std::vector<FolderEntry> entries{{"stale", true}};
    ASSERT_TRUE(services().listFolder(dir.string(), entries));
    std::sort(entries.begin(), entries.end(), [](auto& a, auto& b) { return a.name < b.name; });
    std::vector<std::pair<std::string, bool>> got;
    for (auto& e : entries) got.emplace_back(e.name, e.isFolder);
    std::vector<std::pair<std::string, bool>> want{{"a.pat", false}, {"sub", true}};
    if (!ec) want.insert(want.begin() + 1, {"link", false});
    EXPECT_EQ(got, want);
    EXPECT_FALSE(services().listFolder((dir / "missing").string(), entries));
    EXPECT_TRUE(entries.empty());
    EXPECT_FALSE(services().listFolder((dir / "a.pat").string(), entries));
    fs::remove_all(dir);
}

TEST(PlatformServices, ReplacementsTakeOverTheClockAndComeOff) {
    {
        kelo::test::FakeServices fake;
        fake.now = 123456;
        EXPECT_EQ(tickCount(), 123456u);
        EXPECT_EQ(&services(), &fake);
    }
    EXPECT_EQ(&services(), &systemServices());
}
