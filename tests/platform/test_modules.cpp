#include <gtest/gtest.h>

#include "platform/modules.h"
#include "platform/paths.h"
#include "platform/text.h"

namespace folv {
namespace {

TEST(Modules, RunningProgramCountsUnderItsOwnName) {
    std::u16string program = ProgramPath();
    ASSERT_FALSE(program.empty());
    auto self = FindLoadedModule(UpperAZ(FileNamePart(program)));
    ASSERT_NE(self, nullptr);
    EXPECT_EQ(self->Path(), program);
    EXPECT_EQ(ModuleFileName(u"NOT-LOADED.ARX"), program);
}

TEST(Modules, LookupByNameNeverLoads) {
    const std::u16string path = FromUtf8(FOLV_FIXTURE_MODULE);
    const std::u16string name = UpperAZ(FileNamePart(path));
    EXPECT_EQ(FindLoadedModule(name), nullptr);

    auto loaded = LoadModule(path);
    ASSERT_NE(loaded, nullptr);
    auto found = FindLoadedModule(name);
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(FileNamePart(found->Path()), FileNamePart(path));
    EXPECT_EQ(ModuleFileName(name), found->Path());
    auto answer = found->Find<int()>("FixtureAnswer");
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(found->FindExport("NoSuchExport"), nullptr);
}

TEST(Modules, LoadFailureSaysWhy) {
    std::string error;
    EXPECT_EQ(LoadModule(u"/nonexistent/FOLVANE.DLL", &error), nullptr);
    EXPECT_FALSE(error.empty());
}

TEST(Modules, StandardSearchStartsInTheProgramFolder) {
    std::u16string program = ProgramPath();
    auto found = SearchStandardPath(UpperAZ(FileNamePart(program)));
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(*found, program);
    EXPECT_FALSE(SearchStandardPath(u"no-such-file-anywhere.dll").has_value());
}

}  // namespace
}  // namespace folv
