// The full metadata copy by exiftool after a save.
#pragma once

#include <string>

// Starts exiftool (found beside the program, then on the search path) hidden, with the program
// folder as working folder, and waits a bounded time. True when it ran and reported success.
bool RunMetadataCopy(const std::wstring& source, const std::wstring& target);
