#include "ResamplerRegistry.h"

#include "Bitmap32Errors.h"
#include "DraftResampler.h"
#include "KernelResampler.h"
#include "NearestResampler.h"

namespace murmella::bitmap32 {

const std::vector<std::string>& RegisteredResamplerClassNames() {
  static const std::vector<std::string> names{"TNearestResampler", "TLinearResampler", "TDraftResampler",
                                              "TKernelResampler"};
  return names;
}

TCustomResampler& CreateResamplerFor(const std::string& className, TBitmap32& bitmap) {
  if (className == "TNearestResampler") return TNearestResampler::CreateFor(bitmap);
  if (className == "TLinearResampler") return TLinearResampler::CreateFor(bitmap);
  if (className == "TDraftResampler") return TDraftResampler::CreateFor(bitmap);
  if (className == "TKernelResampler") return TKernelResampler::CreateFor(bitmap);
  throw EBitmapException("Resampler class not registered: " + className);
}

}  // namespace murmella::bitmap32
