#include "engine/OutputStage.h"

namespace kelo {

double HalfbandDecimator::push(double) { return 0.0; }
void HalfbandDecimator::clear() {}
void OutputStage::configure(double drive, double distortion, double highpassCoeff, int type, bool highpass) {
    driveTarget_ = drive;
    distortionTarget_ = distortion;
    hpCoeffTarget_ = highpassCoeff;
    type_ = type;
    highpassOn_ = highpass;
}
void OutputStage::process(float*, int, double) {}

} // namespace kelo
