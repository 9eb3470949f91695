#pragma once
// Where file readers send parameter values (the instance's setParameter).

namespace kelo {

class ParameterWriter {
public:
    virtual ~ParameterWriter() = default;
    virtual void setParameter(int index, float value) = 0;
    virtual float getParameter(int index) const = 0;
};

} // namespace kelo
