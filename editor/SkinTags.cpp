#include "editor/SkinTags.h"

namespace kelo {

#define KELO_SKIN_TAG_ONE(name, id) +1
static_assert(0 KELO_SKIN_TAGS(KELO_SKIN_TAG_ONE) == kSkinTagCount);
#undef KELO_SKIN_TAG_ONE

const SkinTagRow kSkinTagTable[kSkinTagCount] = {
#define KELO_SKIN_TAG_ROW(name, id) {#name, id},
    KELO_SKIN_TAGS(KELO_SKIN_TAG_ROW)
#undef KELO_SKIN_TAG_ROW
};

int32_t skinTagId(std::string_view name) {
    for (const SkinTagRow& row : kSkinTagTable)
        if (name == row.name) return row.id;
    return -1;
}

const char* skinTagName(int32_t id) {
    for (const SkinTagRow& row : kSkinTagTable)
        if (row.id == id) return row.name;
    return nullptr;
}

} // namespace kelo
