// The launcher's steps against stand-in libraries, its message boxes answered by script.

#include <gtest/gtest.h>

#include "launcher/launch.h"
#include "platform/modules.h"
#include "platform/text.h"

namespace {

using Search = std::function<std::optional<std::u16string>(std::u16string_view)>;

Search Finds(const char* path) {
    return [path](std::u16string_view name) -> std::optional<std::u16string> {
        EXPECT_EQ(name, u"FOLVANE.DLL");
        return folv::FromUtf8(path);
    };
}

TEST(LauncherTest, NotOnTheSearchPath) {
    folv::ScriptedPrompts prompts;
    EXPECT_EQ(folv::Launch([](std::u16string_view) { return std::nullopt; }, prompts), 0);
    ASSERT_EQ(prompts.Messages().size(), 1u);
    EXPECT_EQ(prompts.Messages()[0].text, u"Could not find FOLVANE.DLL!");
    EXPECT_EQ(prompts.Messages()[0].caption, u"alert");
    EXPECT_EQ(prompts.Messages()[0].icon, folv::PromptIcon::Warning);
    EXPECT_EQ(prompts.Messages()[0].buttons, folv::PromptButtons::Ok);
}

TEST(LauncherTest, AFileThatIsNoLibrary) {
    folv::ScriptedPrompts prompts;
    EXPECT_EQ(folv::Launch(Finds(FOLV_NOT_A_LIBRARY), prompts), 0);
    ASSERT_EQ(prompts.Messages().size(), 1u);
    EXPECT_EQ(prompts.Messages()[0].text, u"Error loading DLL");
    EXPECT_EQ(prompts.Messages()[0].caption, u"Alert");
    EXPECT_EQ(prompts.Messages()[0].icon, folv::PromptIcon::None);
}

TEST(LauncherTest, ALibraryWithOnlyThumbIsNotRun) {
    folv::ScriptedPrompts prompts;
    auto held = folv::LoadModule(folv::FromUtf8(FOLV_FAKE_THUMB_ONLY));
    ASSERT_TRUE(held);
    EXPECT_EQ(folv::Launch(Finds(FOLV_FAKE_THUMB_ONLY), prompts), 0);
    ASSERT_EQ(prompts.Messages().size(), 1u);
    EXPECT_EQ(prompts.Messages()[0].text, u"FOLVANE function(s) was NOT accessed");
    EXPECT_EQ(prompts.Messages()[0].icon, folv::PromptIcon::None);
    EXPECT_EQ(held->Find<int()>("FakeThumbCalls")(), 0);
}

TEST(LauncherTest, ALibraryWithAllFourExportsRunsThumbOnce) {
    folv::ScriptedPrompts prompts;
    // Held across the launch so that the count survives the launcher's unloading.
    auto held = folv::LoadModule(folv::FromUtf8(FOLV_FAKE_FULL));
    ASSERT_TRUE(held);
    EXPECT_EQ(folv::Launch(Finds(FOLV_FAKE_FULL), prompts), 0);
    EXPECT_TRUE(prompts.Messages().empty());
    EXPECT_EQ(held->Find<int()>("FakeThumbCalls")(), 1);
}

}  // namespace
