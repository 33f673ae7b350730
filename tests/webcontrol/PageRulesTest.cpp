// Address resolution, script extraction and page text decoding.
#include "PageRules.h"
#include "PageScripts.h"
#include "UrlResolve.h"

#include <gtest/gtest.h>

namespace murmella::webcontrol {
namespace {

TEST(UrlResolve, Placeholder) { EXPECT_EQ(ResolveUrl("http://a/b/c/d;p?q", "g"), "http://a/b/c/g"); }

}  // namespace
}  // namespace murmella::webcontrol
