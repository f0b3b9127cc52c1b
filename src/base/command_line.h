// Building a process command line that CommandLineToArgvW and the C runtime split back
// into exactly the given arguments.
#pragma once

#include <string>
#include <vector>

// One argument, quoted only when it needs it (empty, blanks, quotes).
std::wstring QuoteArgument(const std::wstring& argument);
// The arguments quoted and joined by single spaces.
std::wstring BuildCommandLine(const std::vector<std::wstring>& arguments);
// The reverse, by the same rules (for tests and the test exiftool forwarder).
std::vector<std::wstring> SplitCommandLine(const std::wstring& commandLine);
