#pragma once
// Reading skin files ("*.skn") into a SkinDefinition and loading their bitmaps.
#include <string>
#include <string_view>
#include <vector>

#include "editor/SkinDefinition.h"
#include "editor/SkinStore.h"

namespace kelo {

// What a skin author is told about a skin: the file and line (0 for the skin as a whole).
struct SkinDiagnostic {
    enum class Severity { Error, Warning };
    Severity severity = Severity::Error;
    std::string file;
    int32_t line = 0;
    std::string message;
};
using SkinDiagnostics = std::vector<SkinDiagnostic>;

// Includes nest at most this deep; a deeper one is treated as a file that cannot be opened.
inline constexpr int kMaxSkinIncludeDepth = 8;
// A load reads at most this many included files, so includes that fan out cannot multiply into
// a load that never ends; further INCLUDE lines are skipped. Each include drops what was read
// before it, so a sound skin needs no more than one chain of nested files.
inline constexpr int kMaxSkinIncludes = 16;

// Parses `fileName` from `store` into `def` as a load does after its reset: elements are
// appended and settings changed as the file says; INCLUDE reads from the same store. False only
// when the file cannot be read.
bool parseSkin(SkinDefinition& def, const SkinStore& store, const std::string& fileName,
               SkinDiagnostics* report = nullptr);
// The same on text in memory; `fileName` names it in reports and as the first include.
void parseSkinText(SkinDefinition& def, const SkinStore& store, std::string_view text,
                   const std::string& fileName, SkinDiagnostics* report = nullptr);

// Loads the bitmap of every element, once per distinct file name.
void loadSkinBitmaps(SkinDefinition& def, const SkinStore& store, const SkinImageDecoder& decode,
                     SkinDiagnostics* report = nullptr);

// Loads "<skinName>.skn" and its bitmaps into a new definition that starts from the settings of
// `def`, and replaces `def` with it only when the skin can show a panel: the file was read and
// its BACKGROUND element's bitmap loaded. Otherwise answers false and leaves `def` untouched, so
// controls built from it stay valid.
bool loadSkin(SkinDefinition& def, const SkinStore& store, const std::string& skinName,
              const SkinImageDecoder& decode, SkinDiagnostics* report = nullptr);

enum class SkinOrigin { None, Named, DefaultFile, BuiltIn };

// The skin the editor setting names (an empty name names none), else the default skin from the
// data folder, else the built-in copy of the default skin when `builtIn` is given. With all of
// them failing, `def` stays as it was.
SkinOrigin loadSkinWithFallback(SkinDefinition& def, const SkinStore& dataFolder, const SkinStore* builtIn,
                                const std::string& skinName, const SkinImageDecoder& decode);

} // namespace kelo
