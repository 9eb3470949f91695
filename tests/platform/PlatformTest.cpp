// Data-folder discovery and the small OS services.
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace fs = std::filesystem;
using namespace kelo::platform;

namespace {

// A uniquely named folder under the system temp folder, removed afterwards.
class ScratchDir {
public:
    ScratchDir() {
        static int counter = 0;
        path_ = fs::temp_directory_path() /
                ("kelo-platform-" + std::to_string(tickCount()) + "-" + std::to_string(++counter));
        fs::remove_all(path_);
        fs::create_directories(path_);
    }
    ~ScratchDir() {
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }
    std::string str() const { return path_.string(); }

private:
    fs::path path_;
};

TEST(PlatformFolders, EnsureFolderCreatesNestedFoldersButNotThroughAFile) {
    ScratchDir scratch;
    const fs::path nested = scratch.path() / "a" / "b" / "c", file = scratch.path() / "plain";
    EXPECT_TRUE(ensureFolder(nested.string()) && fs::is_directory(nested));
    EXPECT_TRUE(ensureFolder(nested.string() + pathSeparator())) << "an existing folder is success";
    std::ofstream(file) << "x";
    for (const fs::path& bad : {file, file / "below", fs::path()}) EXPECT_FALSE(ensureFolder(bad.string())) << bad;
}

TEST(PlatformClock, TickCountAdvancesInMilliseconds) {
    const uint32_t start = tickCount();
    // Busy-wait on the clock itself so the test needs no sleep primitive.
    uint32_t now = start;
    for (long i = 0; i < 2000000000L && static_cast<uint32_t>(now - start) < 20; ++i)
        now = tickCount();
    const uint32_t elapsed = now - start;
    EXPECT_GE(elapsed, 20u);
    EXPECT_LT(elapsed, 5000u) << "not counting in milliseconds";
}

#ifndef _WIN32

// Points HOME and XDG_CONFIG_HOME at scratch locations for one test and restores them.
class EnvGuard {
public:
    explicit EnvGuard(const char* name) : name_(name) {
        if (const char* v = std::getenv(name))
            old_ = v;
    }
    ~EnvGuard() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
    }
    void set(const std::string& v) { setenv(name_, v.c_str(), 1); }
    void unset() { unsetenv(name_); }

private:
    const char* name_;
    std::optional<std::string> old_;
};

class XdgDocuments : public ::testing::Test {
protected:
    void SetUp() override {
        home_ = scratch_.str() + "/home";
        fs::create_directories(home_ + "/.config");
        homeEnv_.set(home_);
        configEnv_.unset();
    }
    void writeUserDirs(const std::string& text, const std::string& configDir = {}) {
        const std::string dir = configDir.empty() ? home_ + "/.config" : configDir;
        fs::create_directories(dir);
        std::ofstream(dir + "/user-dirs.dirs", std::ios::binary) << text;
    }

    ScratchDir scratch_;
    std::string home_;
    EnvGuard homeEnv_{"HOME"};
    EnvGuard configEnv_{"XDG_CONFIG_HOME"};
};

TEST_F(XdgDocuments, UserDirsValuesAreReadAsTheShellWouldOrIgnored) {
    EXPECT_EQ(dataFolder(), home_ + "/Documents/Orvanta/KELO/") << "no user-dirs file";
    const std::pair<const char*, const char*> cases[] = { // file text, folder below HOME ("" = absolute)
        {"# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
         "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\nXDG_MUSIC_DIR=\"$HOME/Musik\"\n", "/Dokumente"},
        {"XDG_DOCUMENTS_DIR=$HOME/Papers # unquoted\n", "/Papers"},
        {"XDG_DOCUMENTS_DIR =\"${HOME}/Braced\"\r\n", "/Braced"},
        {"XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\" here\"\n", "/My \"Docs\" here"},
        {"XDG_DOCUMENTS_DIR=\"$HOME\"\n", ""},
        {"#XDG_DOCUMENTS_DIR=\"/commented/out\"\n   # XDG_DOCUMENTS_DIR=\"/indented\"\n"
         "XDG_DOCUMENTS_DIRECTORY=\"/other/key\"\nMY_XDG_DOCUMENTS_DIR=\"/prefixed\"\n", "/Documents"},
        {"XDG_DOCUMENTS_DIR=\"relative/path\"\n", "/Documents"},
        {"XDG_DOCUMENTS_DIR=\"$HOMEWORK/x\"\n", "/Documents"},
        {"XDG_DOCUMENTS_DIR=\"$HOME/unterminated\n", "/Documents"},
        {"XDG_DOCUMENTS_DIR\n", "/Documents"},
    };
    for (const auto& [text, below] : cases) {
        writeUserDirs(text);
        EXPECT_EQ(documentsFolder(), home_ + below) << text;
    }
    const std::pair<const char*, const char*> absolute[] = {
        {"XDG_DOCUMENTS_DIR=\"/srv/docs//\"\n", "/srv/docs"},
        {"XDG_DOCUMENTS_DIR=\"/first\"\nXDG_DOCUMENTS_DIR=\"/second\"\nXDG_DOCUMENTS_DIR=\"\"\n", "/second"},
    };
    for (const auto& [text, want] : absolute) {
        writeUserDirs(text);
        EXPECT_EQ(documentsFolder(), want) << text;
    }
    writeUserDirs("XDG_DOCUMENTS_DIR=\"/\"\n");
    EXPECT_EQ(dataFolder(), "/Orvanta/KELO/") << "no double separator";
}

TEST_F(XdgDocuments, ConfigHomeCountsOnlyWhenAbsoluteAndNoHomeMeansNoFolder) {
    const std::string cfg = scratch_.str() + "/cfg";
    writeUserDirs("XDG_DOCUMENTS_DIR=\"$HOME/FromConfigHome\"\n", cfg);
    writeUserDirs("XDG_DOCUMENTS_DIR=\"$HOME/FromDotConfig\"\n");
    configEnv_.set(cfg + "/");
    EXPECT_EQ(documentsFolder(), home_ + "/FromConfigHome");
    configEnv_.set("relative-cfg");
    EXPECT_EQ(documentsFolder(), home_ + "/FromDotConfig");
    homeEnv_.set(home_ + "//");
    EXPECT_EQ(documentsFolder(), home_ + "/FromDotConfig");

    homeEnv_.unset();
    EXPECT_EQ(dataFolder(), "") << "never a folder relative to the host's working directory";
    homeEnv_.set("relative-home");
    EXPECT_EQ(documentsFolder(), "");
    homeEnv_.unset();
    configEnv_.set(cfg);
    EXPECT_EQ(documentsFolder(), "") << "$HOME cannot be expanded";
    writeUserDirs("XDG_DOCUMENTS_DIR=\"/abs/docs\"\n", cfg);
    EXPECT_EQ(dataFolder(), "/abs/docs/Orvanta/KELO/");
}

TEST_F(XdgDocuments, DataFolderIsNotCreatedByFindingItAndHoldsFiles) {
    writeUserDirs("XDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n");
    const std::string folder = dataFolder();
    ASSERT_EQ(folder, home_ + "/Docs/Orvanta/KELO/");
    EXPECT_FALSE(fs::exists(home_ + "/Docs"));
    ASSERT_TRUE(ensureFolder(folder));
    std::ofstream(folder + "Config.ini") << "FilterMode = 0\n";
    EXPECT_TRUE(fs::is_regular_file(home_ + "/Docs/Orvanta/KELO/Config.ini"));
}

#else

TEST(WindowsFolders, DocumentsFolderIsAnAbsoluteDrivePath) {
    const std::string docs = documentsFolder();
    ASSERT_GE(docs.size(), 3u);
    EXPECT_EQ(docs[1], ':');
    EXPECT_EQ(docs[2], '\\');
    EXPECT_EQ(pathSeparator(), '\\');
    EXPECT_EQ(dataFolder().substr(docs.size()), "\\Orvanta\\KELO\\");
}

// The test runner gives every run a scratch documents folder, so creating the data folder
// and writing into it is safe here and shows the path is usable, not just well-formed.
TEST(WindowsFolders, DataFolderCanBeCreatedAndHoldsFiles) {
    const std::string folder = dataFolder();
    ASSERT_TRUE(ensureFolder(folder)) << folder;
    const std::string file = folder + "Config.ini";
    std::FILE* f = std::fopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr) << file;
    std::fputs("FilterMode = 0\n", f);
    std::fclose(f);
    EXPECT_EQ(fs::file_size(file), 15u);
    fs::remove(file);
}

#endif

} // namespace
