// UTF-8 <-> wide conversions; invalid input becomes U+FFFD.
#pragma once

#include <string>

namespace odkit {
std::wstring utf8ToWide(const std::string& utf8);
std::string wideToUtf8(const std::wstring& wide);
} // namespace odkit
