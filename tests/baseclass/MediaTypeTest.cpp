// The media type helpers the connection code stands on: what counts as the same type, what a
// partial type matches, and that copies own their format block and hold their pUnk.
#include "BaseClass.h"
#include "TestPeers.h"

namespace {

class CountingUnknown final : public IUnknown {
 public:
  TEST_REFCOUNT
  STDMETHODIMP QueryInterface(REFIID, void** out) override { return *out = nullptr, E_NOINTERFACE; }
};

}  // namespace

TEST(MediaType, SameAndMatchesGiven) {
  enum Shape { Rgb32_64, Rgb32_32, Rgb24_64, Partial32, PartialAny, MajorOnly, FormatOnlyGuid, NoFormat };
  auto make = [](Shape s, OwnedType& t) {
    switch (s) {
      case Rgb32_64: MakeVideoType(t.Type, 64, 48); break;
      case Rgb32_32: MakeVideoType(t.Type, 32, 48); break;
      case Rgb24_64: MakeVideoType(t.Type, 64, 48, MEDIASUBTYPE_RGB24); break;
      case Partial32: t.Type.majortype = MEDIATYPE_Video, t.Type.subtype = MEDIASUBTYPE_RGB32; break;
      case PartialAny: break;
      case MajorOnly: t.Type.majortype = MEDIATYPE_Video; break;
      case FormatOnlyGuid:  // names the format but carries no block
        t.Type.majortype = MEDIATYPE_Video, t.Type.subtype = MEDIASUBTYPE_RGB32, t.Type.formattype = FORMAT_VideoInfo;
        break;
      case NoFormat: t.Type.majortype = MEDIATYPE_Video, t.Type.subtype = MEDIASUBTYPE_RGB32; break;
    }
  };
  struct Case {
    Shape candidate, given;
    bool same, matches, incompleteGiven;
  } cases[] = {
      {Rgb32_64, Rgb32_64, true, true, false},
      {Rgb32_64, Rgb32_32, false, false, false},  // format bytes differ
      {Rgb32_64, Rgb24_64, false, false, false},  // subtype differs
      {Rgb32_64, Partial32, false, true, true},
      {Rgb24_64, Partial32, false, false, true},
      {Rgb32_64, PartialAny, false, true, true},
      {Rgb24_64, MajorOnly, false, true, true},
      {Rgb32_64, FormatOnlyGuid, false, false, false},  // cbFormat differs
      {NoFormat, Partial32, true, true, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "candidate " << c.candidate << ", given " << c.given);
    OwnedType candidate, given;
    make(c.candidate, candidate);
    make(c.given, given);
    EXPECT_EQ(SameMediaType(candidate.Type, given.Type), c.same);
    EXPECT_EQ(SameMediaType(given.Type, candidate.Type), c.same);
    EXPECT_EQ(MatchesGiven(candidate.Type, given.Type), c.matches);
    EXPECT_EQ(IsIncomplete(given.Type), c.incompleteGiven);
  }
}

TEST(MediaType, CopiesOwnTheirParts) {
  auto* unknown = new CountingUnknown;
  OwnedType source(64, 48);
  source.Type.pUnk = unknown;
  AM_MEDIA_TYPE copy{};
  CloneMediaType(copy, source.Type);
  EXPECT_TRUE(SameMediaType(copy, source.Type));
  EXPECT_NE(copy.pbFormat, source.Type.pbFormat);
  EXPECT_EQ(copy.lSampleSize, source.Type.lSampleSize);
  EXPECT_EQ(unknown->refs_.load(), 2);
  ClearMediaType(copy);
  EXPECT_EQ(copy.cbFormat, 0u);
  EXPECT_EQ(copy.pbFormat, nullptr);
  EXPECT_EQ(copy.pUnk, nullptr);
  EXPECT_EQ(unknown->refs_.load(), 1);

  // A record that claims a block it does not have comes out as one without a block.
  AM_MEDIA_TYPE claims{};
  claims.cbFormat = 88;
  CloneMediaType(copy, claims);
  EXPECT_EQ(copy.cbFormat, 0u);
  EXPECT_EQ(copy.pbFormat, nullptr);

  auto* record = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  CloneMediaType(*record, source.Type);
  EXPECT_EQ(unknown->refs_.load(), 2);
  DisposeMediaType(record);
  EXPECT_EQ(unknown->refs_.load(), 1);
  DisposeMediaType(nullptr);

  AM_MEDIA_TYPE reset;
  memset(&reset, 0xAB, sizeof reset);
  ResetMediaType(reset);
  AM_MEDIA_TYPE expected;
  memset(&expected, 0, sizeof expected);  // padding included, as the reset must clear it
  expected.lSampleSize = 1;
  expected.bFixedSizeSamples = TRUE;
  EXPECT_EQ(memcmp(&reset, &expected, sizeof reset), 0);
  // The record layout COM hands across; 72 bytes in the 32-bit build.
  if (sizeof(void*) == 4) {
    EXPECT_EQ(sizeof(AM_MEDIA_TYPE), 72u);
  }
}
