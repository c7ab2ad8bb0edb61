#pragma once
// How setting texts become numbers and truth values. A text that does not have exactly one of the accepted forms is
// "not found" for the caller, so a typo in the settings file gives the caller's default instead of a guessed value.
#include <string_view>

namespace wzsettings {

// The value of a hexadecimal digit, either case; -1 for any other character.
int hexDigit(char c);

// Blanks (spaces and tabs) around a value are not part of it.
std::string_view trimBlanks(std::string_view text);

// Takes the next line off `rest` (LF or CRLF ends it); false when nothing is left.
bool nextLine(std::string_view& rest, std::string_view* line);
// Splits "key = value" at the first '=' and trims both sides; false without '='.
bool splitKeyValue(std::string_view line, std::string_view* key, std::string_view* value);

// An unsigned 64-bit number: decimal digits, or "0x"/"0X" and hex digits, with optional surrounding blanks. No sign,
// no octal (a leading 0 is decimal), nothing after the digits. Values above 64 bits are refused, not wrapped.
bool parseUnsigned(std::string_view text, unsigned long* value);

// A signed 32-bit number: an optional '-' then the unsigned form; anything outside the int range is refused.
bool parseInt(std::string_view text, int* value);

// A hex number with or without "0x", blanks allowed: the form of task property ids used as keys.
bool parseHexId(std::string_view text, unsigned long* value);

// true: 1 y yes true on; false: 0 n no false off (any case); any other number counts as true when not 0.
bool parseBoolean(std::string_view text, bool* value);

}  // namespace wzsettings
