#include <iconv.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "npl/platform/message_box.h"

namespace npl::platform {

namespace {
// The library's own texts are code page 932; a Linux terminal shows UTF-8.
std::string ToTerminalText(const char* text)
{
    std::string output;
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1))
        return text;
    char* in = const_cast<char*>(text);
    std::size_t inLeft = std::strlen(text);
    std::string buffer(inLeft * 3 + 4, '\0');
    char* out = buffer.data();
    std::size_t outLeft = buffer.size();
    std::size_t result = iconv(cd, &in, &inLeft, &out, &outLeft);
    iconv_close(cd);
    if (result == static_cast<std::size_t>(-1))
        return text;
    buffer.resize(buffer.size() - outLeft);
    return buffer;
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
