// kelo-skin: tools for skin authors.
//
//   kelo-skin check FILE.skn   report every problem of a skin, with its line; exit 1 on errors
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "tools/kelo-skin/SkinCheck.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: kelo-skin check FILE.skn\n"
                 "  check   reports every error of a skin with its line (unknown tags, missing or\n"
                 "          misshapen bitmaps, bad rectangles, include problems); exit 0 when clean\n");
    return 2;
}

int check(int argc, char** argv) {
    if (argc != 1) return usage();
    const std::string path = argv[0];
    const kelo::SkinCheckResult result = kelo::checkSkinFile(path);
    return kelo::printSkinCheck(path, result, std::cout);
}

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
};

// Rendering a skin offscreen needs the editor itself and joins this table with it.
constexpr Command kCommands[] = {{"check", check}};

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    for (const Command& c : kCommands)
        if (std::strcmp(argv[1], c.name) == 0) return c.run(argc - 2, argv + 2);
    std::fprintf(stderr, "kelo-skin: unknown command '%s'\n", argv[1]);
    return usage();
}
