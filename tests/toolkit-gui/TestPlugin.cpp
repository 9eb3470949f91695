// A plug-in made of the toolkit's test scene only: the GUI tests open its editor in real windows.
#include "support/TestScene.h"

#if defined(_WIN32)
#define KELO_EXPORT __declspec(dllexport)
#else
#define KELO_EXPORT __attribute__((visibility("default")))
#endif

extern "C" KELO_EXPORT AEffect* VSTPluginMain(audioMasterCallback master) {
    if (!master) return nullptr;
    return (new kelo::gui::test::TestSceneEffect(master))->getAeffect();
}
