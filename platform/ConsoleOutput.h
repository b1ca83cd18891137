// Text (UTF-8) for the standard output or error stream of a console program.
#pragma once

#include <cstdio>
#include <string>

namespace platform {

// Every line of text written through these ends in CR LF exactly once, as the log's
// lines do, whatever the text brought (LF, or CR LF from the server and our own
// messages); a CR alone (a terminal's return to the line's start) stays.

// Writes text for people whole and flushes. A Windows console gets it as UTF-16 (it
// shows Cyrillic whatever its code page); a file or a pipe gets it in the console's
// code page (ConsoleCodePage), so that `> out.txt` or `| more` reads as the console
// does. On POSIX everything gets UTF-8.
void WriteConsoleText(std::FILE* stream, const std::string& text);
// Writes text that must stay UTF-8 in a file or a pipe (JSON), whole, and flushes; a
// Windows console window shows it as WriteConsoleText does.
void WriteUtf8Text(std::FILE* stream, const std::string& text);

// `text` with every LF and every CR LF made one CR LF:
//   "a\nb\r\n"  -> "a\r\nb\r\n"
//   "\r\x1b[2Kx\n" -> "\r\x1b[2Kx\r\n"
std::string WithCrLf(const std::string& text);

// The code page text for people goes out in when it does not go to a console window:
// on Windows the output code page of the console the program runs in, or the OEM
// code page when it has none (under Task Scheduler); 65001 (UTF-8) on POSIX.
unsigned ConsoleCodePage();

// `text` in code page `codePage`; a character the page cannot hold becomes '?'.
//   65001        -> unchanged
//   866, 1251    -> the Cyrillic console and Windows pages, on every platform
//   any other    -> the system's conversion on Windows; elsewhere ASCII and '?'
std::string ToCodePage(const std::string& text, unsigned codePage);

}  // namespace platform
