#include <gtest/gtest.h>

#include "Bitmap32.h"
#include "Bitmap32Errors.h"
#include "CustomResampler.h"
#include "DraftResampler.h"
#include "ResamplerRegistry.h"

using namespace murmella::bitmap32;

TEST(Bitmap32, NegativeDimensionCountsAsZeroAndLeavesItEmpty) {
  TBitmap32 b;
  EXPECT_TRUE(b.SetSize(-5, 10));
  EXPECT_EQ(b.Width(), 0);
  EXPECT_EQ(b.Height(), 10);
  EXPECT_EQ(b.Bits(), nullptr);
  EXPECT_TRUE(b.IsEmpty());
}

TEST(Bitmap32, SizeGivesTopDownRowsBoundsAndClipArea) {
  TBitmap32 b;
  int changes = 0, resizes = 0, handles = 0;
  b.OnChange = [&](TNotifiablePersistent&) { ++changes; };
  b.OnResize = [&](TNotifiablePersistent&) { ++resizes; EXPECT_EQ(changes, resizes) << "Changed comes before Resized"; };
  b.OnHandleChanged = [&](TNotifiablePersistent&) { ++handles; };
  ASSERT_TRUE(b.SetSize(160, 120));
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(resizes, 1);
  EXPECT_EQ(handles, 1);
  EXPECT_EQ(b.Bounds(), MakeRect(0, 0, 160, 120));
  EXPECT_EQ(b.ClipArea(), b.Bounds());
  EXPECT_EQ(reinterpret_cast<std::uint8_t*>(b.PixelPtr(7, 3)) - reinterpret_cast<std::uint8_t*>(b.Bits()),
            (3 * 160 + 7) * 4);
  EXPECT_FALSE(b.SetSize(160, 120));
  EXPECT_EQ(changes + resizes + handles, 3);
  b.Release();
  EXPECT_TRUE(b.IsEmpty());
  EXPECT_EQ(b.ClipArea(), MakeRect(0, 0, 0, 0));
}

TEST(Bitmap32, UpdatesHoldNotificationsAndUnpairedEndUpdateAsserts) {
  TBitmap32 b;
  std::vector<TRect> areas;
  int changes = 0;
  b.OnAreaChanged = [&](TNotifiablePersistent&, const TRect& r, std::uint32_t info) {
    areas.push_back(r);
    EXPECT_EQ(info, AREAINFO_RECT);
  };
  b.OnChange = [&](TNotifiablePersistent&) { ++changes; };
  b.BeginUpdate();
  b.SetSize(4, 4);
  b.FillAlpha(1);
  EXPECT_EQ(changes, 0);
  b.EndUpdate();
  EXPECT_EQ(changes, 0) << "EndUpdate itself does not notify";
  b.FillAlpha(2);
  EXPECT_EQ(changes, 1);
  ASSERT_EQ(areas.size(), 1u);
  EXPECT_EQ(areas[0], MakeRect(0, 0, 4, 4));
  try {
    b.EndUpdate();
    FAIL() << "no assertion";
  } catch (const EAssertionFailed& e) {
    EXPECT_STREQ(e.what(), "Unpaired TThreadPersistent.EndUpdate");
  }
  EXPECT_EQ(b.UpdateCount(), 0);
}

TEST(Bitmap32, CopyFromBitmapTakesPixelsPropertiesAndResamplerClass) {
  TBitmap32 a, b;
  a.SetSize(3, 2);
  for (int i = 0; i < 6; ++i) a.Bits()[i] = 0x01020304u * (i + 1);
  a.DrawMode = dmTransparent;
  a.CombineMode = cmMerge;
  a.WrapMode = wmMirror;
  a.MasterAlpha = 77;
  a.OuterColor = 0x12345678;
  auto& draft = TDraftResampler::CreateFor(a);
  draft.PixelAccessMode = pamWrap;
  int changes = 0;
  b.OnChange = [&](TNotifiablePersistent&) { ++changes; };
  b.CopyFrom(&a);
  EXPECT_EQ(changes, 1) << "one notification for the whole copy";
  ASSERT_EQ(b.Width(), 3);
  ASSERT_EQ(b.Height(), 2);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(b.Bits()[i], a.Bits()[i]);
  EXPECT_EQ(b.DrawMode, dmTransparent);
  EXPECT_EQ(b.CombineMode, cmMerge);
  EXPECT_EQ(b.WrapMode, wmMirror);
  EXPECT_EQ(b.MasterAlpha, 77u);
  EXPECT_EQ(b.OuterColor, 0x12345678u);
  EXPECT_EQ(b.ResamplerClassName(), "TDraftResampler");
  EXPECT_EQ(dynamic_cast<TBitmap32Resampler&>(b.Resampler()).PixelAccessMode, pamWrap);
  EXPECT_EQ(&dynamic_cast<TBitmap32Resampler&>(b.Resampler()).Bitmap(), &b);
  b.CopyFrom(static_cast<const TBitmap32*>(nullptr));
  EXPECT_TRUE(b.IsEmpty());
  EXPECT_EQ(b.Width(), 0);
}

TEST(Bitmap32, ResamplerClassNameSwitchesAmongRegisteredClassesOnly) {
  TBitmap32 b;
  EXPECT_EQ(b.ResamplerClassName(), "TNearestResampler");
  for (const auto& name : RegisteredResamplerClassNames()) {
    b.SetResamplerClassName(name);
    EXPECT_EQ(b.ResamplerClassName(), name);
    EXPECT_EQ(b.Resampler().ClassName(), name);
  }
  TCustomResampler* before = &b.Resampler();
  b.SetResamplerClassName(b.ResamplerClassName());
  EXPECT_EQ(&b.Resampler(), before) << "same name keeps the resampler";
  EXPECT_THROW(b.SetResamplerClassName("TBogusResampler"), EBitmapException);
  EXPECT_EQ(&b.Resampler(), before);
}

TEST(Bitmap32, FillAlphaKeepsColours) {
  TBitmap32 b;
  b.SetSize(2, 1);
  b.Bits()[0] = 0x00112233;
  b.Bits()[1] = 0xAB445566;
  b.FillAlpha(0x80);
  EXPECT_EQ(b.Bits()[0], 0x80112233u);
  EXPECT_EQ(b.Bits()[1], 0x80445566u);
}

TEST(Color32, ColorRefIsReversedAndOpaque) {
  EXPECT_EQ(Color32FromColorRef(0x00332211), 0xFF112233u);
  EXPECT_EQ(Color32(0x11, 0x22, 0x33, 0x44), 0x44112233u);
}
