// MurmellaScreenSharing: the screen camera filter, its one output pin and the identity under
// which the library registers it as a video input device.
#pragma once

#include "VirtualWebCamFilter.h"
#include "VirtualWebCamPin.h"
#include "SettingsPage.h"

#include <windows.h>

namespace vwc {

// What capture applications list and what the filter and its pin are labelled with.
inline constexpr wchar_t kFriendlyName[] = L"MurmellaScreenSharing";
// {FE0B330A-6D25-45DC-AC7F-6C445FB6F5C0}
inline constexpr CLSID kClsidVirtualWebCam = {0xFE0B330A, 0x6D25, 0x45DC,
                                              {0xAC, 0x7F, 0x6C, 0x44, 0x5F, 0xB6, 0xF5, 0xC0}};
// The camera's settings page, a plain COM class of the same library.
// {D88FF424-C6F0-46D0-8FDD-DD024CDF72C6}
inline constexpr CLSID kClsidSettingsPage = {0xD88FF424, 0xC6F0, 0x46D0,
                                             {0x8F, 0xDD, 0xDD, 0x02, 0x4C, 0xDF, 0x72, 0xC6}};
inline constexpr wchar_t kSettingsPageName[] = L"MurmellaScreenSharing Settings Page";

}  // namespace vwc
