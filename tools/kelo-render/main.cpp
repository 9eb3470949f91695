// kelo-render: renders the KELO plug-in file to an audio file without a DAW.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc > 1 && std::strcmp(argv[1], "--help") == 0) {
        std::puts("usage: kelo-render [options] [-o out.wav]");
        return 0;
    }
    std::fputs("kelo-render: not yet able to render\n", stderr);
    return 1;
}
