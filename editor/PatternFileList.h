#pragma once
// The pattern files the pattern-file menu offers: the "Patterns" folder of the data folder and
// its sub-folders, read through the platform's folder listing.
#include <cstddef>
#include <string>
#include <vector>

namespace kelo {

struct PatternFileNode {
    std::string label;                     // the file name without ".pat", or the folder's name
    std::string path;                      // the file or the folder itself
    bool isFolder = false;
    std::vector<PatternFileNode> children; // a folder's own entries
};

struct PatternFileLimits {
    size_t topEntries = 507;    // room left in the menu beside its fixed entries
    size_t folderEntries = 512; // per sub-folder
    int depth = 8;              // sub-folders below the top folder
    size_t total = 4096;        // entries in the whole tree
};

// Only names that end in ".pat" (any letter case) are pattern files, so "Bass.pat.bak" and
// "x.pattern" are not; each keeps its real path. Links to folders are not followed (a link to
// a parent would never end) and the tree stops at the limits. Folders without a pattern file
// are left out. Every level is sorted by label, byte-wise (capitals first), before it is cut to
// its limit, so what is listed does not depend on the order the system lists a folder in.
std::vector<PatternFileNode> listPatternFiles(const std::string& folder, const PatternFileLimits& limits = {});

} // namespace kelo
