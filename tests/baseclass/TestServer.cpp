// The test server DLL: the counter source behind its own class factory, registered as a video
// input device under a name of its own so that it never stands in for the camera.
#include "CounterSource.h"

#include <olectl.h>

namespace {

const REGPINTYPES kOutTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_RGB32}};
const REGFILTERPINS kPins[] = {
    {const_cast<LPWSTR>(L"Out"), FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kOutTypes}};

// The template frees its factories when the library unloads, so this one lives on the heap.
[[maybe_unused]] TBCClassFactory* const factory =
    new TBCClassFactory(&TCounterSource::CreateFromFactory, kBCTestSourceName, CLSID_BCTestSource,
                        CLSID_VideoInputDeviceCategory, MERIT_DO_NOT_USE, 1, kPins);

}  // namespace

// The exports are the framework's (its BCServer.cpp) and nothing in this library calls them;
// referencing them here links them in, which a .def entry alone does not do for the decorated
// stdcall names of the 32-bit build.
extern void* const bcTestSourceExports[];
void* const bcTestSourceExports[] = {reinterpret_cast<void*>(&DllGetClassObject), reinterpret_cast<void*>(&DllCanUnloadNow),
                                     reinterpret_cast<void*>(&DllRegisterServer),
                                     reinterpret_cast<void*>(&DllUnregisterServer)};
