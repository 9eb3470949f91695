// A plug-in made of the toolkit's test scene only: the GUI test opens its editor in real windows.
#include "support/TestScene.h"

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback master) {
    if (!master) return nullptr;
    return (new kelo::gui::test::TestSceneEffect(master))->getAeffect();
}
