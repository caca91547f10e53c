#include "util/Error.h"

#include <gtest/gtest.h>

namespace tvx {
namespace {

TEST(Error, ComposesQualifierNumberAndText) {
  EXPECT_EQ(ComposeErrorMessage("TPluginManager::SaveBitmap", 210, "Unsupported file plugin!"),
            "TPluginManager::SaveBitmap::210 - Unsupported file plugin!");
  try {
    RaiseError("TBaseLayer::LoadFromStream", 207, "Invalid signature!");
    FAIL() << "no exception";
  } catch (const EError& e) {
    EXPECT_STREQ(e.what(), "TBaseLayer::LoadFromStream::207 - Invalid signature!");
  }
}

}  // namespace
}  // namespace tvx
