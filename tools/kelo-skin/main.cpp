// kelo-skin: tools for skin authors.
//
//   kelo-skin check FILE.skn           report every problem of a skin, with its line; exit 1 on errors
//   kelo-skin render FILE.skn OUT.png  the skin's panel as the editor shows it when it opens
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>

#include "tools/kelo-skin/SkinCheck.h"
#include "tools/kelo-skin/SkinRender.h"

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: kelo-skin check FILE.skn\n"
                 "       kelo-skin render FILE.skn OUT.png\n"
                 "  check   reports every error of a skin with its line (unknown tags, missing or\n"
                 "          misshapen bitmaps, bad rectangles, include problems); exit 0 when clean\n"
                 "  render  draws the skin's panel as the editor shows it when it opens, into a PNG\n");
    return 2;
}

int check(int argc, char** argv) {
    if (argc != 1) return usage();
    const std::string path = argv[0];
    const kelo::SkinCheckResult result = kelo::checkSkinFile(path);
    return kelo::printSkinCheck(path, result, std::cout);
}

int render(int argc, char** argv) {
    if (argc != 2) return usage();
    std::string error;
    const int status = kelo::renderSkin(argv[0], argv[1], error);
    if (status != 0) std::fprintf(stderr, "kelo-skin: %s: %s\n", argv[0], error.c_str());
    return status;
}

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);
};

constexpr Command kCommands[] = {{"check", check}, {"render", render}};

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) return usage();
    for (const Command& c : kCommands)
        if (std::strcmp(argv[1], c.name) == 0) return c.run(argc - 2, argv + 2);
    std::fprintf(stderr, "kelo-skin: unknown command '%s'\n", argv[1]);
    return usage();
}
