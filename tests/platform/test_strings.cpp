#include <gtest/gtest.h>

#include "explorer/resources/string_table.h"

namespace folv {
namespace {

TEST(StringTable, HoldsTheTextsByNumber) {
    EXPECT_EQ(LoadString(116), u"Folvane message");
    EXPECT_EQ(LoadString(103),
              u"Fatal error!Unexpected NULL pointer.\nPlease exit and re-run again the Folvane.");
    EXPECT_EQ(LoadString(40001), u"Recover DWG file");
    EXPECT_TRUE(LoadString(111).empty());
    EXPECT_TRUE(LoadPluginString(40001).empty());
    EXPECT_EQ(LoadPluginString(134), u"Are you sure you want to exit?");
}

}  // namespace
}  // namespace folv
