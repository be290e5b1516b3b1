// The switch between the vector paths of pixel conversion and resampling and
// their scalar reference code. The vector paths are on by default wherever
// the processor has them; tests turn them off to check that both give the
// same bytes.
#pragma once

namespace korva::detail {

void SetPixelSimdEnabled(bool enabled);
bool PixelSimdEnabled();

}  // namespace korva::detail
