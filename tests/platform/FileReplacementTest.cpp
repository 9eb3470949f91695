// Files are replaced whole or not at all.
#include "platform/FileReplacement.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "tests/platform/Support.h"

#if !defined(_WIN32)
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kelo::platform {
namespace {

using namespace test;

class FileReplacementTest : public ::testing::Test {
protected:
    size_t files() const { return size_t(std::distance(fs::directory_iterator(dir.path()), {})); }
    ScratchDir dir;
};

TEST_F(FileReplacementTest, TheTargetChangesOnlyOnCommitAndNoScratchFileStays) {
    std::ofstream(dir / "a.txt") << "old";
    {
        FileReplacement r;
        ASSERT_TRUE(r.begin(dir / "a.txt") && r.write("new contents", 12)) << r.error();
        EXPECT_EQ(std::tuple(slurp(dir / "a.txt"), files()), std::tuple("old", 2u));
    } // dropped without commit
    EXPECT_EQ(std::tuple(slurp(dir / "a.txt"), files()), std::tuple("old", 1u));

    FileReplacement r;
    ASSERT_TRUE(r.begin(dir / "a.txt"));
    r.abandon();
    EXPECT_FALSE(r.write("x", 1) || r.commit());
    EXPECT_EQ(slurp(dir / "a.txt"), "old");

    EXPECT_EQ(replaceFile(dir / "a.txt", "replaced"), ReplaceResult::Written);
    EXPECT_EQ(replaceFile(dir / "b.txt", ""), ReplaceResult::Written) << "a new, empty file";
    EXPECT_EQ(std::tuple(slurp(dir / "a.txt"), fs::exists(dir / "b.txt"), files()), std::tuple("replaced", true, 2u));

    EXPECT_EQ(replaceFile(dir / "missing/c.txt", "x"), ReplaceResult::NotCreated);
    EXPECT_FALSE(r.begin(dir / "missing/c.txt"));
    EXPECT_NE(r.error().find("cannot write"), std::string::npos) << r.error();
    std::string text;
    EXPECT_FALSE(readFile(dir / "missing/c.txt", text, 100));
    fs::create_directories(dir.path() / "folder");
    EXPECT_EQ(replaceFile(dir / "folder", "x"), ReplaceResult::NotCreated);
    EXPECT_TRUE(fs::is_directory(dir.path() / "folder"));

    ASSERT_TRUE(r.begin(dir / "c.txt"));
    ASSERT_TRUE(r.begin(dir / "d.txt")) << "a second begin drops the first scratch file";
    EXPECT_EQ(files(), 4u);
    // Something else takes the name before the commit: the move fails, nothing is left.
    fs::create_directories(dir.path() / "d.txt" / "inside");
    EXPECT_FALSE(r.commit());
    EXPECT_NE(r.error(), "");
    EXPECT_EQ(std::tuple(files(), fs::is_directory(dir.path() / "d.txt" / "inside")), std::tuple(4u, true));
}

#if !defined(_WIN32)
// A file size limit makes a write fail part-way, as a full disk or a quota does.
TEST_F(FileReplacementTest, AFailedWriteKeepsTheOldFileAndLinksAndPermissionsAreKept) {
    std::ofstream(dir / "bank.pat") << "the user's bank";
    struct rlimit saved {}, limited{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    limited = {4096, saved.rlim_max};
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    FileReplacement r;
    const bool begun = r.begin(dir / "bank.pat");
    const bool written = begun && r.write(std::string(100000, 'x').data(), 100000);
    const bool committed = begun && r.commit();
    const ReplaceResult whole = replaceFile(dir / "bank.pat", std::string(100000, 'y'));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_EQ(std::tuple(begun, written || committed, whole), std::tuple(true, false, ReplaceResult::Failed));
    EXPECT_NE(r.error(), "");
    EXPECT_EQ(std::tuple(slurp(dir / "bank.pat"), files()), std::tuple("the user's bank", 1u));

    std::ofstream(dir / "real.ini") << "old";
    chmod((dir / "real.ini").c_str(), 0640);
    fs::create_symlink("real.ini", dir.path() / "link.ini");
    ASSERT_EQ(replaceFile(dir / "link.ini", "through the link"), ReplaceResult::Written);
    EXPECT_TRUE(fs::is_symlink(dir.path() / "link.ini"));
    EXPECT_EQ(slurp(dir / "real.ini"), "through the link");
    EXPECT_EQ(fs::status(dir / "real.ini").permissions(), fs::perms(0640));

    if (geteuid() == 0) GTEST_SKIP() << "root writes read-only files";
    chmod((dir / "real.ini").c_str(), 0444);
    EXPECT_EQ(replaceFile(dir / "real.ini", "x"), ReplaceResult::NotCreated);
    EXPECT_EQ(slurp(dir / "real.ini"), "through the link");
}
#endif

TEST_F(FileReplacementTest, ReadersSeeOneWholeVersionWhileTwoWritersReplaceIt) {
    const std::string a(30000, 'a'), b(20000, 'b');
    ASSERT_EQ(replaceFile(dir / "map.ini", a), ReplaceResult::Written);
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0}, failed{0};
    std::thread reader([&] {
        std::string seen;
        while (!stop) {
            if (!readFile(dir / "map.ini", seen, 1 << 20) || (seen != a && seen != b)) ++torn;
            // Instances starting read now and then; one reading without a pause would hold
            // the file open nearly always, and Windows refuses a move over an open file.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::thread writers[2];
    for (int w = 0; w < 2; ++w)
        writers[w] = std::thread([&, w] {
            for (int i = 0; i < 150; ++i)
                if (replaceFile(dir / "map.ini", w ? b : a) != ReplaceResult::Written) ++failed;
        });
    for (std::thread& t : writers) t.join();
    stop = true;
    reader.join();
    EXPECT_EQ(std::tuple(torn.load(), failed.load(), files()), std::tuple(0, 0, 1u));
}

} // namespace
} // namespace kelo::platform
