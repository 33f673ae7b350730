#pragma once
#include <string>
#include <vector>

namespace murmella::bitmap32 {

class TBitmap32;
class TCustomResampler;

// Names that ResamplerClassName accepts, in registration order.
const std::vector<std::string>& RegisteredResamplerClassNames();
// Attaches a new resampler of the named class to the bitmap; EBitmapException for unknown names.
TCustomResampler& CreateResamplerFor(const std::string& className, TBitmap32& bitmap);

}  // namespace murmella::bitmap32
