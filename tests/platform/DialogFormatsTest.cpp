// What the dialog programs and the Windows common dialogs are told, and how their answers read.
#include "platform/DialogFormats.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kelo::platform;
using namespace kelo::platform::dialogs;
using Args = std::vector<std::string>;

TEST(DialogArgs, ProgramsAreToldWhatTheRequestAsks) {
    const FileDialogRequest songImport{
        .title = "Import Song",
        .initialFolder = "/home/u/Songs",
        .filters = {{"Songs and patterns", {"rbs", "ph"}}, {"Songs (*.rbs)", {"rbs"}}, {"Pat|terns", {"ph", "x1"}}},
        .defaultFilter = 1};
    FileDialogRequest r = songImport;
    // The default filter comes first (zenity selects the first); patterns match any case,
    // digits stay as they are, and a '|' in a label cannot split the filter.
    EXPECT_EQ(fileDialogArgs(Program::kZenity, r),
              (Args{"--file-selection", "--title=Import Song", "--filename=/home/u/Songs/",
                    "--file-filter=Songs (*.rbs) | *.[rR][bB][sS]",
                    "--file-filter=Songs and patterns | *.[rR][bB][sS] *.[pP][hH]",
                    "--file-filter=Pat terns | *.[pP][hH] *.[xX]1"}));

    r.multiple = true;
    r.filters = {{"All", {}}};
    r.defaultFilter = 7; // out of range: the first
    r.defaultName = "last.pat";
    EXPECT_EQ(fileDialogArgs(Program::kZenity, r),
              (Args{"--file-selection", "--title=Import Song", "--multiple", "--separator=\n",
                    "--filename=/home/u/Songs/last.pat", "--file-filter=All | *"}));

    // Save: confirm overwrite; a full default name wins over the folder; never multiple.
    r = {.kind = FileDialogKind::kSave, .initialFolder = "/home/u/Songs", .defaultName = "/elsewhere/last.pat",
         .multiple = true};
    EXPECT_EQ(fileDialogArgs(Program::kZenity, r),
              (Args{"--file-selection", "--save", "--confirm-overwrite", "--filename=/elsewhere/last.pat"}));

    r.kind = FileDialogKind::kFolder;
    r.filters = {{"All", {}}};
    EXPECT_EQ(fileDialogArgs(Program::kZenity, r),
              (Args{"--file-selection", "--directory", "--filename=/elsewhere/last.pat"}));

    r = songImport;
    r.multiple = true;
    EXPECT_EQ(fileDialogArgs(Program::kKdialog, r),
              (Args{"--title", "Import Song", "--getopenfilename", "/home/u/Songs/",
                    "*.rbs *.RBS|Songs (*.rbs)\n*.rbs *.RBS *.ph *.PH|Songs and patterns\n*.ph *.PH *.x1 *.X1|Pat terns",
                    "--multiple", "--separate-output"}));
    EXPECT_EQ(fileDialogArgs(Program::kKdialog, {.kind = FileDialogKind::kSave}), (Args{"--getsavefilename", "."}));

    MessageRequest m{MessageKind::kYesNo, "Orvanta KELO", "Clear?\nC:\\new <b>&</b>", nullptr};
    EXPECT_EQ(messageArgs(Program::kKdialog, m), (Args{"--title", "Orvanta KELO", "--yesno", m.text}));
    // zenity reads escapes in the text: a backslash must survive, markup is shown as typed.
    EXPECT_EQ(messageArgs(Program::kZenity, m),
              (Args{"--question", "--title=Orvanta KELO", "--text=Clear?\nC:\\\\new <b>&</b>", "--no-markup"}));
    m.kind = MessageKind::kOk;
    EXPECT_EQ(messageArgs(Program::kZenity, m)[0], "--info");
    EXPECT_EQ(messageArgs(Program::kKdialog, m)[2], "--msgbox");
}

TEST(DialogAnswers, FilesFromProgramOutputAndWindowsStrings) {
    FileDialogRequest r{.defaultExtension = "pat", .multiple = true};
    const std::string out = "Gtk-Message: stray\n/a/one.pat\n\n/a/two\nrelative.pat\n/a/three.PAT";
    EXPECT_EQ(filesFromOutput(out, r), (Args{"/a/one.pat", "/a/two", "/a/three.PAT"}));
    r.multiple = false;
    EXPECT_EQ(filesFromOutput(out, r), (Args{"/a/one.pat"}));
    EXPECT_TRUE(filesFromOutput("", r).empty());

    r.kind = FileDialogKind::kSave;
    EXPECT_EQ(filesFromOutput("/a/two\n", r), (Args{"/a/two.pat"}));
    EXPECT_EQ(filesFromOutput("/a.b/two\n", r), (Args{"/a.b/two.pat"})); // a dot in a folder is no extension
    EXPECT_EQ(filesFromOutput("/a/two.mid\n", r), (Args{"/a/two.mid"}));
    EXPECT_EQ(filesFromOutput("/a/.hidden\n", r), (Args{"/a/.hidden.pat"}));
    EXPECT_EQ(withDefaultExtension("/x/song", ".mid"), "/x/song.mid");
    EXPECT_EQ(withDefaultExtension("/x/song", ""), "/x/song");
    EXPECT_EQ(withDefaultExtension("/x/", "mid"), "/x/");

    // Windows: the filter string, the selection buffer, and the text editor's command line.
    using namespace std::string_literals;
    EXPECT_EQ(win32FilterString({{"Rebirth (*.rbs) and Ph (*.ph) files", {"rbs", "ph"}}, {"All", {}}}),
              "Rebirth (*.rbs) and Ph (*.ph) files\0*.rbs;*.ph\0All\0*.*\0\0"s);
    EXPECT_EQ(win32FilterString({}), "");

    const std::tuple<std::string, size_t, bool, Args> selections[] = {
        {"C:\\p\\a.pat\0stale older name\0"s, 0, false, {"C:\\p\\a.pat"}},
        {"C:\\p\\a.pat\0\0"s, 0, true, {"C:\\p\\a.pat"}},
        {"C:\\p\0a.pat\0b.pat\0\0"s, 0, true, {"C:\\p\\a.pat", "C:\\p\\b.pat"}},
        {"C:\\\0a.pat\0b.pat\0\0"s, 0, true, {"C:\\a.pat", "C:\\b.pat"}},
        // A buffer without its final NUL yields what is complete, never reads past the end.
        {"C:\\p\0a.pat\0b.pat\0\0"s, 14, true, {"C:\\p\\a.pat"}}, // ends inside "b.pat"
        {"\0"s, 0, true, {}},
    };
    for (const auto& [buffer, size, multiple, want] : selections)
        EXPECT_EQ(win32SelectedFiles(buffer.data(), size ? size : buffer.size(), multiple), want) << buffer;

    EXPECT_EQ(notepadCommandLine("C:\\windows", "C:\\My Docs\\Config.ini"),
              "\"C:\\windows\\notepad.exe\" \"C:\\My Docs\\Config.ini\"");
    EXPECT_EQ(notepadCommandLine("C:\\", "x.ini"), "\"C:\\notepad.exe\" \"x.ini\"");
}
