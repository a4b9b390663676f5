// The texts of the launcher's own boxes, in code page 1251.
#pragma once

#include <string>
#include <string_view>

namespace rdplaunch {

std::string_view BoxCaption();
std::string_view RenameMessage();
std::string CredentialsMessage(std::string_view userName, std::string_view password);

}  // namespace rdplaunch
