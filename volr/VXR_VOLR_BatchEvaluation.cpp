// The simple loops that the batch evaluations of the colour class and of the
// opacity graph share (see VXR_VOLR_BatchEvaluation.h).
#include "VXR_VOLR_BatchEvaluation.h"

namespace vxr_volr_batch VXR_VOLR_BATCH_HIDDEN {

void ClampKernel(const float* in, int count, float* out) {
    for (int j = 0; j < count; ++j) {
        out[j] = ClampToUnit(in[j]);
    }
}

bool AscendingKernel(const float* at, int count) {
    int descents = 0;
    for (int j = 1; j < count; ++j) {
        descents += (at[j] >= at[j - 1]) ? 0 : 1;
    }
    return descents == 0;
}

void FillKernel(int count, float value, float* out) {
    for (int k = 0; k < count; ++k) {
        out[k] = value;
    }
}

void FillKernel(int count, int value, int* out) {
    for (int k = 0; k < count; ++k) {
        out[k] = value;
    }
}

}  // namespace VXR_VOLR_BATCH_HIDDEN
