// The display-scaling option of the command line: -DPI120, /dpi144.
#pragma once

#include <string>
#include <vector>

namespace ScaleUtils {

// The resolution the window is laid out for.
constexpr int kDesignPixelsPerInch = 96;

// The screen resolution to scale by: `systemPixelsPerInch` unless an argument
// overrides it. Arguments are examined in order (the program's path is not one of
// them); an argument qualifies when, with its ASCII letters upper-cased, it has at
// least 6 characters, begins with '-' or '/' and has "DPI" as characters 2 to 4.
// Characters 5 to 7 of the first qualifying one are read as a decimal number (text
// that is not a number counts as 0); a number above 0 wins. Examination stops at the
// first qualifying argument whether or not its number was usable.
//   -DPI120 -> 120     /dpi144 -> 144     -DPI1200 -> 120 (three digits only)
//   -DPI0 -DPI120 -> 120 (-DPI0 is too short)     -DPI00 -DPI120 -> system value
//   -DPI=120 -> system value ("=12" is no number)
int ResolutionFromArguments(const std::vector<std::string>& arguments, int systemPixelsPerInch);

// A design-time length (at 96 ppi) at the given resolution, rounded as MulDiv does.
int Scale(int designPixels, int pixelsPerInch);

}  // namespace ScaleUtils
