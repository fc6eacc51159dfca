#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/prompts.h"

namespace folv {

// The launcher's steps, with the search and the message boxes handed in so that tests can
// run them: find FOLVANE.DLL, load it, check its four exports, call thumb, unload.
// Always 0, the program's exit code.
int Launch(const std::function<std::optional<std::u16string>(std::u16string_view)>& search,
           Prompts& prompts);

}  // namespace folv
