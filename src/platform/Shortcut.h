// Windows Internet shortcut files (".url"): the address in their [InternetShortcut] section.
#pragma once

#include <string>
#include <string_view>

namespace tk::platform {

// The URL= value of the [InternetShortcut] section, or "" when there is none.
std::string ReadInternetShortcutUrl(std::string_view fileContents);

}  // namespace tk::platform
