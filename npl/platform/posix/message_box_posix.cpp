#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "npl/platform/message_box.h"

#include "iconv_conversion.h"

namespace npl::platform {

namespace {
// The library's own texts are code page 932; a Linux terminal shows UTF-8.
std::string ToTerminalText(const char* text)
{
    const std::string question("?");
    std::string output;
    if (!IconvConvert(kIconvUtf8, kIconvShiftJis, text, std::strlen(text), output, { &question, 1 }))
        return text;
    return output;
}
} // namespace

int AskYesNo(const char* caption, const char* text)
{
    if (!isatty(STDIN_FILENO) || !isatty(STDERR_FILENO))
        return kAnswerNo;
    std::fprintf(stderr, "%s\n%s [y/N] ", ToTerminalText(caption).c_str(), ToTerminalText(text).c_str());
    std::fflush(stderr);
    char answer[16] = {};
    if (std::fgets(answer, sizeof answer, stdin) == nullptr)
        return kAnswerNo;
    return answer[0] == 'y' || answer[0] == 'Y' ? kAnswerYes : kAnswerNo;
}

} // namespace npl::platform
