// The entry of every doctest suite. A Windows build links with -municode, whose C runtime calls
// wmain; doctest's command line is 8-bit, and its options are plain ASCII.
#define DOCTEST_CONFIG_IMPLEMENT
#include <doctest/doctest.h>

#include <string>
#include <vector>

#if defined(_WIN32) && defined(UNICODE)
int wmain(int argc, wchar_t **argv)
{
    std::vector<std::string> texts;
    for (int i = 0; i < argc; ++i) {
        std::string text;
        for (const wchar_t *unit = argv[i]; *unit; ++unit)
            text.push_back(*unit < 0x80 ? static_cast<char>(*unit) : '?');
        texts.push_back(std::move(text));
    }
    std::vector<char *> pointers;
    for (std::string &text : texts)
        pointers.push_back(text.data());
    return doctest::Context(argc, pointers.data()).run();
}
#else
int main(int argc, char **argv)
{
    return doctest::Context(argc, argv).run();
}
#endif
