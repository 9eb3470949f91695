#pragma once
// Skins in memory for the parser tests: files are texts, and a "bitmap" file holds its size as
// "WxH", which the fake decoder reads (counting how often it was asked).
#include <cstdio>
#include <map>
#include <memory>
#include <string>

#include "editor/SkinLoader.h"

namespace kelo::test {

class SkinFiles : public SkinStore {
public:
    SkinFiles& set(const std::string& name, const std::string& text) {
        files_[name] = text;
        return *this;
    }
    bool read(const std::string& name, std::string& bytes) const override {
        const auto it = files_.find(name);
        if (it == files_.end()) return false;
        bytes = it->second;
        return true;
    }
private:
    std::map<std::string, std::string> files_;
};

struct FakeDecoder {
    std::map<std::string, int> calls;
    SkinImageDecoder decoder() {
        return [this](const std::string& name, std::string_view bytes) {
            ++calls[name];
            int w = 0, h = 0;
            if (std::sscanf(std::string(bytes).c_str(), "%dx%d", &w, &h) != 2) return SkinImage{};
            return SkinImage{std::make_shared<std::string>(name), w, h};
        };
    }
};

// The skin text parsed on its own (as a load does after its reset), with what was reported.
inline SkinDefinition parseText(const std::string& text, SkinDiagnostics* report = nullptr,
                                const SkinStore* includes = nullptr) {
    static const SkinFiles none;
    SkinDefinition def;
    parseSkinText(def, includes ? *includes : none, text, "test.skn", report);
    return def;
}

} // namespace kelo::test
