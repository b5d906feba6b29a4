// Pure text routines shared by every page: turning a command line or registry
// text into a program path, trimming, splitting and cutting texts.
//
// Texts are UTF-8. Positions and counts are in bytes, which equal characters
// for ASCII text; no routine ever cuts a multi-byte character in half.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace wl {

// A command line or registry data text normalised to an upper-case program
// path: switches after "/" or " -" and arguments after "," are cut off, the
// "\SystemRoot" and "%SystemRoot%" forms become windowsDir, "\??\" and "%1"
// are removed, ASCII letters are upper-cased (other letters are kept as they
// are: the file system compares them without case anyway) and blanks, control
// characters and double quotes are stripped from both ends.
//
// A path in double quotes at the start of the text is taken whole, up to its
// closing quote: a "/", "," or " -" inside the quotes belongs to the path and
// what follows the closing quote is an argument.
//
// windowsDir is the Windows directory as the system gives it; when it is
// empty the system-root forms are left as they are (never turned into a path
// on the root of the current drive).
std::string ExtractExecutablePath(std::string_view text, std::string_view windowsDir);

// The text without leading and trailing characters whose code is not above
// the code of limit (compared as unsigned values). Only ASCII characters are
// ever stripped, so a multi-byte character is never cut.
std::string TrimUpToChar(std::string_view text, char limit);

// The parts between the separators, empty parts included; the last part is
// what follows the last separator. An empty text gives one empty part; an
// empty separator gives the whole text as the one part.
std::vector<std::string> SplitText(std::string_view text, std::string_view separator);

// A number of bytes to take from the start or end of a text.
struct CharCount {
  std::size_t value = 0;
};

// The text before the first occurrence of c; empty when c does not occur.
std::string TextBeforeChar(std::string_view text, char c);
// The first count bytes (all of the text when it is shorter), less a
// multi-byte character the count would cut.
std::string TextBeforeChar(std::string_view text, CharCount count);

// The text after the last occurrence of c; the whole text when c does not
// occur.
std::string TextAfterLastChar(std::string_view text, char c);
// The last count bytes (all of the text when it is shorter), less a
// multi-byte character the count would cut.
std::string TextAfterLastChar(std::string_view text, CharCount count);

// 1-based position of the n-th occurrence of c counted from the end of the
// text (n = 1 is the last occurrence); 0 when there are fewer than n, or when
// n is 0.
std::size_t FindCharFromEnd(std::string_view text, char c, std::size_t n);

// True for a full Windows path: a drive letter, a colon and a backslash (or
// slash), or a UNC path ("\\server\share..."). A relative path would name a
// different file depending on the current folder.
bool IsFullPath(std::string_view path);

}  // namespace wl
