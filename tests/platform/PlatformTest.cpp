// Where the data folder is, and making it.
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include "tests/platform/Support.h"

using namespace kelo::platform;
using namespace kelo::platform::test;

TEST(PlatformFolders, EnsureFolderCreatesNestedFoldersButNotThroughAFile) {
    ScratchDir scratch;
    const fs::path nested = scratch.path() / "a" / "b" / "c", file = scratch.path() / "plain";
    EXPECT_TRUE(ensureFolder(nested.string()) && fs::is_directory(nested));
    EXPECT_TRUE(ensureFolder(nested.string() + pathSeparator())) << "an existing folder is success";
    std::ofstream(file) << "x";
    for (const fs::path& bad : {file, file / "below", fs::path()}) EXPECT_FALSE(ensureFolder(bad.string())) << bad;
}

#ifndef _WIN32

class XdgDocuments : public ::testing::Test {
protected:
    void SetUp() override {
        fs::create_directories(home_ + "/.config");
        env_.set("HOME", home_);
        env_.set("XDG_CONFIG_HOME", nullptr);
    }
    void writeUserDirs(const std::string& text, const std::string& configDir = {}) {
        const std::string dir = configDir.empty() ? home_ + "/.config" : configDir;
        fs::create_directories(dir);
        std::ofstream(dir + "/user-dirs.dirs", std::ios::binary) << text;
    }

    ScratchDir scratch_;
    const std::string home_ = scratch_ / "home";
    Environment env_;
};

TEST_F(XdgDocuments, UserDirsAreReadAsTheShellWouldFromTheConfigHomeOrNoFolderAtAll) {
    EXPECT_EQ(dataFolder(), home_ + "/Documents/Orvanta/KELO/") << "no user-dirs file";
    const std::pair<const char*, std::string> cases[] = { // file text, the folder ('~' for HOME)
        {"# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
         "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\nXDG_MUSIC_DIR=\"$HOME/Musik\"\n", "~/Dokumente"},
        {"XDG_DOCUMENTS_DIR=$HOME/Papers # unquoted\n", "~/Papers"},
        {"XDG_DOCUMENTS_DIR =\"${HOME}/Braced\"\r\n", "~/Braced"},
        {"XDG_DOCUMENTS_DIR=\"$HOME/My \\\"Docs\\\" here\"\n", "~/My \"Docs\" here"},
        {"XDG_DOCUMENTS_DIR=\"$HOME\"\n", "~"},
        {"#XDG_DOCUMENTS_DIR=\"/commented/out\"\n   # XDG_DOCUMENTS_DIR=\"/indented\"\n"
         "XDG_DOCUMENTS_DIRECTORY=\"/other/key\"\nMY_XDG_DOCUMENTS_DIR=\"/prefixed\"\n", "~/Documents"},
        {"XDG_DOCUMENTS_DIR=\"relative/path\"\n", "~/Documents"},
        {"XDG_DOCUMENTS_DIR=\"$HOMEWORK/x\"\n", "~/Documents"},
        {"XDG_DOCUMENTS_DIR=\"$HOME/unterminated\n", "~/Documents"},
        {"XDG_DOCUMENTS_DIR\n", "~/Documents"},
        {"XDG_DOCUMENTS_DIR=\"/srv/docs//\"\n", "/srv/docs"},
        {"XDG_DOCUMENTS_DIR=\"/first\"\nXDG_DOCUMENTS_DIR=\"/second\"\nXDG_DOCUMENTS_DIR=\"\"\n", "/second"},
    };
    for (const auto& [text, want] : cases) {
        writeUserDirs(text);
        EXPECT_EQ(documentsFolder(), want[0] == '~' ? home_ + want.substr(1) : want) << text;
    }
    writeUserDirs(std::string(3 << 19, '#') + "\nXDG_DOCUMENTS_DIR=\"/past/the/first/mebibyte\"\n");
    EXPECT_EQ(documentsFolder(), home_ + "/Documents") << "only its first mebibyte is read";
    writeUserDirs("XDG_DOCUMENTS_DIR=\"/\"\n");
    EXPECT_EQ(dataFolder(), "/Orvanta/KELO/") << "no double separator";

    // XDG_CONFIG_HOME counts only when absolute; without a usable HOME there is no folder.
    const std::string cfg = scratch_ / "cfg";
    writeUserDirs("XDG_DOCUMENTS_DIR=\"$HOME/FromConfigHome\"\n", cfg);
    writeUserDirs("XDG_DOCUMENTS_DIR=\"$HOME/FromDotConfig\"\n");
    env_.set("XDG_CONFIG_HOME", cfg + "/");
    EXPECT_EQ(documentsFolder(), home_ + "/FromConfigHome");
    env_.set("XDG_CONFIG_HOME", "relative-cfg");
    EXPECT_EQ(documentsFolder(), home_ + "/FromDotConfig");
    env_.set("HOME", home_ + "//");
    EXPECT_EQ(dataFolder(), home_ + "/FromDotConfig/Orvanta/KELO/");
    EXPECT_FALSE(fs::exists(home_ + "/FromDotConfig")) << "finding the folder does not create it";

    env_.set("HOME", nullptr);
    EXPECT_EQ(dataFolder(), "") << "never a folder relative to the host's working directory";
    env_.set("HOME", "relative-home");
    EXPECT_EQ(documentsFolder(), "");
    env_.set("HOME", nullptr);
    env_.set("XDG_CONFIG_HOME", cfg);
    EXPECT_EQ(documentsFolder(), "") << "$HOME cannot be expanded";
    writeUserDirs("XDG_DOCUMENTS_DIR=\"/abs/docs\"\n", cfg);
    EXPECT_EQ(dataFolder(), "/abs/docs/Orvanta/KELO/");
}

#else

// The test runner gives every run a scratch documents folder: the data folder can be made there.
TEST(WindowsFolders, DataFolderIsUnderAnAbsoluteDocumentsPathAndHoldsFiles) {
    const std::string docs = documentsFolder(), folder = dataFolder();
    ASSERT_GE(docs.size(), 3u);
    EXPECT_EQ(std::tuple(docs.substr(1, 2), pathSeparator(), folder.substr(docs.size())),
              std::tuple(":\\", '\\', "\\Orvanta\\KELO\\"));
    ASSERT_TRUE(ensureFolder(folder)) << folder;
    std::ofstream(folder + "Config.ini", std::ios::binary) << "FilterMode = 0\n";
    EXPECT_EQ(fs::file_size(folder + "Config.ini"), 15u);
    fs::remove(folder + "Config.ini");
}

#endif
