// Composes the OS type text of a Windows host from its registry values. Platform-neutral, so it
// is built and tested everywhere.
#pragma once

#include <string>

namespace Tesmora {

// product_name, then the edition in parentheses unless the name already holds it, then
// " build N" for a known build. Windows 11 keeps "Windows 10" in its product name, so a build
// of 22000 or more turns that into "Windows 11". An empty product name gives an empty text.
std::string WindowsOsTypeText(const std::string& product_name, const std::string& edition_id,
                              unsigned long build);

}  // namespace Tesmora
