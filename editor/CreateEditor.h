#pragma once
// What the plug-in's entry hands the instance to build its editor with.
class AEffEditor;

namespace kelo {

class Vez303;
AEffEditor* createEditor(Vez303& plugin);

} // namespace kelo
