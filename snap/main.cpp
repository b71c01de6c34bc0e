#include "snap/snap.h"

#ifdef _WIN32
#include <string>
#include <vector>

#include "snap/io/messages.h"

// Built with -municode: the arguments arrive as the wide command line, so
// that names outside the ANSI code page come through, and go on as UTF-8.
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments = wideArgumentsToUtf8(argc, argv);
    std::vector<char*> pointers;
    for (std::string& argument : arguments) pointers.push_back(&argument[0]);
    pointers.push_back(nullptr);
    return snapMain(argc, pointers.data());
}
#else
int main(int argc, char** argv) {
    return snapMain(argc, argv);
}
#endif
