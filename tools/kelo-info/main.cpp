// kelo-info: loads a VST 2.4 plug-in file the way a host does and prints what it says about
// itself: identity, version, channels, flags, parameters and programs.
#include <cstdio>
#include <cstring>
#include <string>

#include "host/Plugin.h"

namespace {

void usage(std::FILE* out) {
    std::fputs("usage: kelo-info [PLUGIN-FILE]\n"
               "Loads the plug-in file (default: the KELO plug-in of this build) and prints its\n"
               "name, vendor, product, unique ID, version, parameters and programs.\n",
               out);
}

// A four-character code as text when it is printable, e.g. 'KEL3'.
std::string fourCC(VstInt32 id) {
    const auto u = static_cast<uint32_t>(id);
    std::string s;
    for (int shift = 24; shift >= 0; shift -= 8) {
        const char c = static_cast<char>((u >> shift) & 0xff);
        if (c < 0x20 || c > 0x7e)
            return "";
        s += c;
    }
    return s;
}

const char* categoryName(VstIntPtr category) {
    static const char* const names[] = {"unknown",  "effect",      "synth",    "analysis",
                                        "mastering", "spatializer", "room fx",  "surround fx",
                                        "restoration", "offline",   "shell",    "generator"};
    if (category >= 0 && category < static_cast<VstIntPtr>(sizeof names / sizeof names[0]))
        return names[category];
    return "invalid";
}

std::string flagNames(VstInt32 flags) {
    struct Flag {
        VstInt32 bit;
        const char* name;
    };
    static const Flag known[] = {{effFlagsHasEditor, "editor"},
                                 {effFlagsCanReplacing, "replacing"},
                                 {effFlagsCanDoubleReplacing, "double-replacing"},
                                 {effFlagsProgramChunks, "program-chunks"},
                                 {effFlagsIsSynth, "synth"},
                                 {effFlagsNoSoundInStop, "no-sound-in-stop"}};
    std::string s;
    for (const Flag& f : known) {
        if (flags & f.bit)
            s += (s.empty() ? "" : ", ") + std::string(f.name);
    }
    return s.empty() ? "none" : s;
}

} // namespace

int main(int argc, char** argv) {
    std::string path;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            usage(stdout);
            return 0;
        }
        if (argv[i][0] == '-' || !path.empty()) {
            std::fprintf(stderr, "kelo-info: unexpected argument '%s'\n", argv[i]);
            usage(stderr);
            return 2;
        }
        path = argv[i];
    }
    if (path.empty())
        path = kelo::host::defaultPluginPath();

    kelo::host::Plugin plugin;
    if (!plugin.load(path)) {
        std::fprintf(stderr, "kelo-info: cannot load '%s': %s\n", path.c_str(), plugin.error().c_str());
        return 1;
    }
    plugin.dispatcher(effOpen);
    const AEffect* e = plugin.effect();

    const std::string code = fourCC(e->uniqueID);
    std::printf("file:        %s\n", path.c_str());
    std::printf("name:        %s\n", plugin.text(effGetEffectName).c_str());
    std::printf("vendor:      %s\n", plugin.text(effGetVendorString).c_str());
    std::printf("product:     %s\n", plugin.text(effGetProductString).c_str());
    std::printf("uniqueID:    %s%s%s (0x%08x)\n", code.empty() ? "" : "'", code.c_str(),
                code.empty() ? "" : "'", static_cast<unsigned>(e->uniqueID));
    std::printf("version:     %d (vendor version %ld, VST %ld)\n", static_cast<int>(e->version),
                static_cast<long>(plugin.dispatcher(effGetVendorVersion)),
                static_cast<long>(plugin.dispatcher(effGetVstVersion)));
    std::printf("category:    %s\n", categoryName(plugin.dispatcher(effGetPlugCategory)));
    std::printf("channels:    %d in, %d out\n", static_cast<int>(e->numInputs), static_cast<int>(e->numOutputs));
    std::printf("flags:       %s\n", flagNames(e->flags).c_str());

    std::printf("parameters:  %d\n", static_cast<int>(e->numParams));
    for (int i = 0; i < e->numParams; ++i) {
        const float value = plugin.getParameter(i);
        std::string label = plugin.parameterLabel(i);
        while (!label.empty() && (label.back() == ' ' || label.front() == ' '))
            label = label.back() == ' ' ? label.substr(0, label.size() - 1) : label.substr(1);
        std::printf("  %3d  %-18s %.4f  %s%s%s\n", i, plugin.parameterName(i).c_str(), static_cast<double>(value),
                    plugin.parameterDisplay(i).c_str(), label.empty() ? "" : " ", label.c_str());
    }

    std::printf("programs:    %d (current %ld)\n", static_cast<int>(e->numPrograms),
                static_cast<long>(plugin.dispatcher(effGetProgram)));
    for (int i = 0; i < e->numPrograms; ++i)
        std::printf("  %3d  %s\n", i, plugin.text(effGetProgramNameIndexed, i).c_str());

    plugin.close();
    return 0;
}
