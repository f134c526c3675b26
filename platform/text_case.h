// Upper and lower case of Windows-1252 text, and comparison without regard
// to case, the way the program compares names typed by people (INI sections
// and keys, file names).
//
// Besides A-Z these fold the accented letters of Windows-1252 (À-Þ with
// à-þ, Š/š, Œ/œ, Ž/ž, Ÿ/ÿ), independently of the process locale.
#pragma once

#include <string>
#include <string_view>

namespace qm::platform {

char Cp1252ToUpper(char c);
char Cp1252ToLower(char c);
std::string Cp1252ToUpper(std::string_view text);
std::string Cp1252ToLower(std::string_view text);

bool EqualsIgnoringCase(std::string_view a, std::string_view b);
// Only A-Z and a-z fold; for names the system spells in UTF-8 (file names).
bool EqualsIgnoringAsciiCase(std::string_view a, std::string_view b);

}  // namespace qm::platform
