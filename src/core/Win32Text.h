#pragma once

#include <string>
#include <string_view>

// Text at the Windows system boundary: the program keeps UTF-8 inside and hands the
// system UTF-16.
namespace ixo {

std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);

// The system's own words for a Win32 error code, without the closing line break.
std::string SystemErrorText(unsigned long error);

}  // namespace ixo
