// Registration as the framework performs it in this process, read back from Wine's registry:
// a re-registration that the filter mapper refuses leaves the earlier registration as it was,
// or none when there was none, and returns the mapper's answer.
#include "CounterSource.h"
#include "TestPeers.h"

#include <string>

namespace {

// {6D2C5A43-8E3B-4F0A-9C7D-1B2E3F405A61}
constexpr CLSID kClassId = {0x6d2c5a43, 0x8e3b, 0x4f0a, {0x9c, 0x7d, 0x1b, 0x2e, 0x3f, 0x40, 0x5a, 0x61}};
const REGPINTYPES kTypes[] = {{&MEDIATYPE_Video, &MEDIASUBTYPE_RGB32}};
const REGFILTERPINS kPins[] = {
    {const_cast<LPWSTR>(L"Out"), FALSE, TRUE, FALSE, FALSE, &CLSID_NULL, nullptr, 1, kTypes}};

// Wine's filter mapper with RegisterFilter refused, as a mapper without write access refuses it.
class RefusingMapper final : public IFilterMapper2 {
 public:
  RefusingMapper(IFilterMapper2* wine, HRESULT refusal) : wine_(wine), refusal_(refusal) {}
  TEST_REFCOUNT
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (iid != IID_IUnknown && iid != IID_IFilterMapper2) return *out = nullptr, E_NOINTERFACE;
    *out = static_cast<IFilterMapper2*>(this);
    AddRef();
    return S_OK;
  }
  STDMETHODIMP CreateCategory(REFCLSID category, DWORD merit, LPCWSTR description) override {
    return wine_->CreateCategory(category, merit, description);
  }
  STDMETHODIMP UnregisterFilter(const CLSID* category, LPCOLESTR instance, REFCLSID filter) override {
    return wine_->UnregisterFilter(category, instance, filter);
  }
  STDMETHODIMP RegisterFilter(REFCLSID, LPCWSTR, IMoniker**, const CLSID*, LPCOLESTR, const REGFILTER2*) override {
    return refusal_;
  }
  STDMETHODIMP EnumMatchingFilters(IEnumMoniker** e, DWORD flags, BOOL exact, DWORD merit, BOOL inNeeded, DWORD inTypes,
                                   const GUID* inList, const REGPINMEDIUM* inMedium, const CLSID* inCategory,
                                   BOOL render, BOOL outNeeded, DWORD outTypes, const GUID* outList,
                                   const REGPINMEDIUM* outMedium, const CLSID* outCategory) override {
    return wine_->EnumMatchingFilters(e, flags, exact, merit, inNeeded, inTypes, inList, inMedium, inCategory, render,
                                      outNeeded, outTypes, outList, outMedium, outCategory);
  }

 private:
  ComPtr<IFilterMapper2> wine_;
  HRESULT refusal_;
};

std::wstring Text(REFGUID guid) {
  wchar_t text[64];
  StringFromGUID2(guid, text, 64);
  return text;
}

std::wstring Read(const std::wstring& key, const wchar_t* name) {
  wchar_t text[1024];
  DWORD size = sizeof text;
  if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
    return L"<none>";
  return text;
}

}  // namespace

TEST(Registration, ARefusedRegistrationLeavesTheEarlierOne) {
  static constexpr wchar_t kEarlier[] = L"BC registration test";
  // The template frees its factories when the program ends.
  auto* factory = new TBCClassFactory(&TCounterSource::CreateFromFactory, kEarlier, kClassId,
                                      CLSID_VideoInputDeviceCategory, MERIT_DO_NOT_USE, 1, kPins);
  TBCFilterTemplate& all = TBCFilterTemplate::Instance();
  const std::wstring classKey = L"CLSID\\" + Text(kClassId), serverKey = classKey + L"\\InprocServer32";
  const std::wstring entry = L"CLSID\\" + Text(CLSID_VideoInputDeviceCategory) + L"\\Instance\\" + Text(kClassId);
  ASSERT_EQ(all.RegisterAll(true), S_OK);
  const std::wstring path = Read(serverKey, nullptr);
  ASSERT_NE(path, L"<none>");
  ASSERT_EQ(Read(entry, L"FriendlyName"), kEarlier);

  ComPtr<IFilterMapper2> wine;
  ASSERT_EQ(CoCreateInstance(CLSID_FilterMapper2, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&wine)), S_OK);
  TBCFilterMapper refusing(Adopt<IFilterMapper2>(new RefusingMapper(wine.Get(), E_ACCESSDENIED)).Get());
  factory->FriendlyName = L"BC registration test, renamed";
  EXPECT_EQ(all.RegisterAll(true, refusing), E_ACCESSDENIED);
  EXPECT_EQ(Read(classKey, nullptr), kEarlier) << "the class key was not put back";
  EXPECT_EQ(Read(serverKey, nullptr), path);
  EXPECT_EQ(Read(serverKey, L"ThreadingModel"), L"Both");
  EXPECT_EQ(Read(entry, L"FriendlyName"), kEarlier);

  // Without an earlier registration nothing is left behind.
  ASSERT_EQ(all.RegisterAll(false), S_OK);
  EXPECT_EQ(all.RegisterAll(true, refusing), E_ACCESSDENIED);
  EXPECT_EQ(Read(classKey, nullptr), L"<none>");
  EXPECT_EQ(Read(serverKey, nullptr), L"<none>");
  EXPECT_EQ(Read(entry, L"FriendlyName"), L"<none>");
  factory->FriendlyName = kEarlier;
}
