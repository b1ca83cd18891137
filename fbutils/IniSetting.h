// The settings-file reader of the utility library stand-in.
#pragma once

#include <istream>
#include <string>

// The value of `key` (letters in any case) in section [Firebird] of an ini text,
// blanks around it removed; false when the section or the key is not there. Lines
// starting with ';' are comments.
bool ReadIniSetting(std::istream& file, const std::string& key, std::string& value);
