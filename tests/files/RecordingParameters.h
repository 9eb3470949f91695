#pragma once
#include <vector>

#include "files/ParameterWriter.h"

namespace kelo::test {

// Parameter slots that remember every write in order.
class RecordingParameters : public ParameterWriter {
public:
    struct Write {
        int index;
        float value;
    };
    void setParameter(int index, float value) override {
        writes.push_back({index, value});
        if (index >= 0 && index < 256) slots[index] = value;
    }
    float getParameter(int index) const override { return index >= 0 && index < 256 ? slots[index] : 0.0f; }

    std::vector<Write> writes;
    float slots[256] = {};
};

} // namespace kelo::test
