// Command line quoting by the rules of CommandLineToArgvW and the Microsoft C runtime.
#include "base/command_line.h"

std::wstring QuoteArgument(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos)
        return argument;
    std::wstring out = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes count only before a quote: double them there and escape the quote.
        if (c == L'"') {
            out.append(backslashes * 2 + 1, L'\\');
        } else {
            out.append(backslashes, L'\\');
        }
        backslashes = 0;
        out += c;
    }
    // Backslashes before the closing quote are doubled so they do not escape it.
    out.append(backslashes * 2, L'\\');
    out += L'"';
    return out;
}

std::wstring BuildCommandLine(const std::vector<std::wstring>& arguments) {
    std::wstring line;
    for (size_t i = 0; i < arguments.size(); ++i) {
        if (i)
            line += L' ';
        line += QuoteArgument(arguments[i]);
    }
    return line;
}

std::vector<std::wstring> SplitCommandLine(const std::wstring& line) {
    std::vector<std::wstring> args;
    size_t i = 0;
    const size_t n = line.size();
    for (;;) {
        while (i < n && (line[i] == L' ' || line[i] == L'\t'))
            ++i;
        if (i >= n)
            break;
        std::wstring arg;
        bool quoted = false;
        while (i < n) {
            wchar_t c = line[i];
            if (!quoted && (c == L' ' || c == L'\t'))
                break;
            if (c == L'\\') {
                size_t count = 0;
                while (i < n && line[i] == L'\\')
                    ++count, ++i;
                if (i < n && line[i] == L'"') {
                    arg.append(count / 2, L'\\');
                    if (count % 2) {
                        arg += L'"';
                        ++i;
                    }
                } else {
                    arg.append(count, L'\\');
                }
                continue;
            }
            if (c == L'"') {
                // A doubled quote inside a quoted part stands for one quote.
                if (quoted && i + 1 < n && line[i + 1] == L'"') {
                    arg += L'"';
                    i += 2;
                    continue;
                }
                quoted = !quoted;
                ++i;
                continue;
            }
            arg += c;
            ++i;
        }
        args.push_back(arg);
    }
    return args;
}
