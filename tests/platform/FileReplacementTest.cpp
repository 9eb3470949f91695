// Files are replaced whole or not at all.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <thread>

#include "platform/FileReplacement.h"

#if !defined(_WIN32)
#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kelo::platform {
namespace {

namespace fs = std::filesystem;

class FileReplacementTest : public ::testing::Test {
protected:
    void SetUp() override { fs::create_directories(dir_); }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    std::string path(const std::string& name) const { return (dir_ / name).string(); }
    void put(const std::string& name, const std::string& text) const {
        std::ofstream(dir_ / name, std::ios::binary) << text;
    }
    static std::string read(const std::string& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    size_t files() const { return size_t(std::distance(fs::directory_iterator(dir_), fs::directory_iterator())); }

    const fs::path dir_ = fs::temp_directory_path() / ("kelo-replace-" + std::to_string(std::random_device{}()));
};

TEST_F(FileReplacementTest, TheTargetChangesOnlyOnCommitAndNoScratchFileStays) {
    put("a.txt", "old");
    {
        FileReplacement r;
        ASSERT_TRUE(r.begin(path("a.txt"))) << r.error();
        ASSERT_TRUE(r.write("new contents", 12));
        EXPECT_EQ(read(path("a.txt")), "old");
        EXPECT_EQ(files(), 2u);
    } // dropped without commit
    EXPECT_EQ(read(path("a.txt")), "old");
    EXPECT_EQ(files(), 1u);

    FileReplacement r;
    ASSERT_TRUE(r.begin(path("a.txt")));
    r.abandon();
    EXPECT_FALSE(r.write("x", 1));
    EXPECT_FALSE(r.commit());
    EXPECT_EQ(read(path("a.txt")), "old");

    EXPECT_EQ(replaceFile(path("a.txt"), "replaced"), ReplaceResult::Written);
    EXPECT_EQ(replaceFile(path("b.txt"), ""), ReplaceResult::Written) << "a new, empty file";
    EXPECT_EQ(std::tuple(read(path("a.txt")), fs::exists(path("b.txt")), files()), std::tuple("replaced", true, 2u));

    EXPECT_EQ(replaceFile(path("missing/c.txt"), "x"), ReplaceResult::NotCreated);
    std::string text;
    EXPECT_FALSE(readFile(path("missing/c.txt"), text, 100));
    fs::create_directories(dir_ / "folder");
    EXPECT_EQ(replaceFile(path("folder"), "x"), ReplaceResult::NotCreated);
    EXPECT_TRUE(fs::is_directory(dir_ / "folder"));
}

TEST_F(FileReplacementTest, FailuresSayWhyAndLeaveNoScratchFile) {
    FileReplacement r;
    EXPECT_FALSE(r.begin(path("missing/a.txt")));
    EXPECT_NE(r.error().find("cannot write"), std::string::npos) << r.error();
    ASSERT_TRUE(r.begin(path("a.txt")));
    EXPECT_EQ(r.error(), "");
    ASSERT_TRUE(r.begin(path("b.txt"))) << "a second begin drops the first scratch file";
    EXPECT_EQ(files(), 1u);
    // Something else takes the name before the commit: the move fails, nothing is left.
    fs::create_directories(dir_ / "b.txt" / "inside");
    EXPECT_FALSE(r.commit());
    EXPECT_NE(r.error(), "");
    EXPECT_EQ(std::tuple(files(), fs::is_directory(dir_ / "b.txt" / "inside")), std::tuple(1u, true));
}

#if !defined(_WIN32)
TEST_F(FileReplacementTest, LinksPermissionsAndReadOnlyFilesAreRespected) {
    put("real.ini", "old");
    chmod(path("real.ini").c_str(), 0640);
    fs::create_symlink("real.ini", dir_ / "link.ini");
    ASSERT_EQ(replaceFile(path("link.ini"), "through the link"), ReplaceResult::Written);
    EXPECT_TRUE(fs::is_symlink(dir_ / "link.ini"));
    EXPECT_EQ(read(path("real.ini")), "through the link");
    struct stat st {};
    ASSERT_EQ(stat(path("real.ini").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    if (geteuid() == 0) GTEST_SKIP() << "root writes read-only files";
    chmod(path("real.ini").c_str(), 0444);
    EXPECT_EQ(replaceFile(path("real.ini"), "x"), ReplaceResult::NotCreated);
    EXPECT_EQ(read(path("real.ini")), "through the link");
}

// A file size limit makes a write fail part-way, as a full disk or a quota does.
TEST_F(FileReplacementTest, AWriteThatFailsPartWayLeavesTheOldFile) {
    put("bank.pat", "the user's bank");
    struct rlimit saved {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    struct rlimit limited = saved;
    limited.rlim_cur = 4096;
    const auto previous = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    FileReplacement r;
    const bool begun = r.begin(path("bank.pat"));
    const bool written = begun && r.write(std::string(100000, 'x').data(), 100000);
    const bool committed = begun && r.commit();
    const ReplaceResult whole = replaceFile(path("bank.pat"), std::string(100000, 'y'));
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previous);

    EXPECT_TRUE(begun);
    EXPECT_FALSE(written || committed);
    EXPECT_NE(r.error(), "");
    EXPECT_EQ(whole, ReplaceResult::Failed);
    EXPECT_EQ(read(path("bank.pat")), "the user's bank");
    EXPECT_EQ(files(), 1u);
}
#endif

TEST_F(FileReplacementTest, ReadersSeeOneWholeVersionWhileTwoWritersReplaceIt) {
    const std::string a(30000, 'a'), b(20000, 'b');
    ASSERT_EQ(replaceFile(path("map.ini"), a), ReplaceResult::Written);
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0}, failed{0};
    std::thread reader([&] {
        std::string seen;
        while (!stop) {
            if (!readFile(path("map.ini"), seen, 1 << 20) || (seen != a && seen != b)) ++torn;
            // Instances starting read now and then; one reading without a pause would hold
            // the file open nearly always, and Windows refuses a move over an open file.
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::thread writers[2];
    for (int w = 0; w < 2; ++w)
        writers[w] = std::thread([&, w] {
            for (int i = 0; i < 150; ++i)
                if (replaceFile(path("map.ini"), w ? b : a) != ReplaceResult::Written) ++failed;
        });
    for (std::thread& t : writers) t.join();
    stop = true;
    reader.join();
    EXPECT_EQ(std::tuple(torn.load(), failed.load(), files()), std::tuple(0, 0, 1u));
}

} // namespace
} // namespace kelo::platform
