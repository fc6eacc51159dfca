#include "launcher/launch.h"

#include "platform/modules.h"

namespace folv {
namespace {

void Tell(Prompts& prompts, std::u16string_view text, std::u16string_view caption,
          PromptIcon icon) {
    MessageRequest request;
    request.text = std::u16string(text);
    request.caption = std::u16string(caption);
    request.icon = icon;
    request.buttons = PromptButtons::Ok;
    prompts.Message(request);
}

}  // namespace

int Launch(const std::function<std::optional<std::u16string>(std::u16string_view)>& search,
           Prompts& prompts) {
    const std::optional<std::u16string> path = search(u"FOLVANE.DLL");
    // COM needs nothing here; its place in the order is kept by the steps around it.
    if (!path || path->empty() || path->size() >= 260) {
        Tell(prompts, u"Could not find FOLVANE.DLL!", u"alert", PromptIcon::Warning);
        return 0;
    }
    std::unique_ptr<Module> library = LoadModule(*path);
    if (!library) {
        Tell(prompts, u"Error loading DLL", u"Alert", PromptIcon::None);
        return 0;
    }
    using Thumb = int();
    using Plain = void();
    using Named = void(const char16_t*);
    Thumb* thumb = library->Find<Thumb>("thumb");
    Plain* setMdi = library->Find<Plain>("SetMDI");
    Plain* setSingle = library->Find<Plain>("SetSINGLE");
    Named* setName = library->Find<Named>("SetArxAppName");
    if (thumb != nullptr && setMdi != nullptr && setSingle != nullptr && setName != nullptr) {
        thumb();
    } else {
        Tell(prompts, u"FOLVANE function(s) was NOT accessed", u"Error", PromptIcon::None);
    }
    library.reset();
    return 0;
}

}  // namespace folv
