// A plug-in file with an entry but without the "main" alias and with one export too many.
extern "C" __declspec(dllexport) void* VSTPluginMain(void*) { return nullptr; }
extern "C" __declspec(dllexport) int helperThatLeaked() { return 0; }
