// The library's class factories, made when the library is loaded: the data under which
// regsvr32 registers the camera as a video input device, and its settings page as a plain COM
// class (server keys only: a page is no camera and must not be listed as one). The factory
// template frees them when the library is unloaded.
#include "UMain.h"

#include <windows.h>
#include <dshow.h>

namespace {

const REGPINTYPES kPinTypes = {&MEDIATYPE_Video, &GUID_NULL};

// The mapper's pin name is "Output"; the pin object calls itself "Out". Nothing compares them.
const REGFILTERPINS kPinRecord = {
    const_cast<LPWSTR>(L"Output"),  // strName
    FALSE,                          // bRendered
    TRUE,                           // bOutput
    FALSE,                          // bZero
    FALSE,                          // bMany
    nullptr,                        // clsConnectsToFilter
    nullptr,                        // strConnectsToPin
    1,                              // nMediaTypes
    &kPinTypes,
};

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, void*) {
  if (reason == DLL_PROCESS_ATTACH) {
    try {
      new TBCClassFactory(&TBCSettingsPage::CreateFromFactory, vwc::kSettingsPageName, vwc::kClsidSettingsPage,
                          GUID_NULL, 0, 0, nullptr);
      new TBCClassFactory(&TBCVirtualWebCam::CreateFromFactory, vwc::kFriendlyName, vwc::kClsidVirtualWebCam,
                          CLSID_VideoInputDeviceCategory, MERIT_DO_NOT_USE, 1, &kPinRecord);
    } catch (...) {
      return FALSE;  // a library without its factory could only fail every request
    }
  }
  return TRUE;
}
