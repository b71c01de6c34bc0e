// corvane-snap's options as --help, the man page and the bash completion
// name them: an option added to one and not the others fails here.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "snap/cli/options.h"

namespace {

std::string sourceFile(const char* relative) {
    std::ifstream in(std::string(CORVANE_SOURCE_DIR) + "/" + relative);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Every option the text names: "--word-word" and "-h", with roff's "\-"
// read as a plain hyphen.
std::set<std::string> optionsIn(std::string text) {
    text = std::regex_replace(text, std::regex(R"(\\-)"), "-");
    std::set<std::string> options;
    const std::regex option(R"((^|[^-\w])(--[a-z]+(-[a-z]+)*|-h)\b)");
    for (std::sregex_iterator it(text.begin(), text.end(), option), end; it != end; ++it)
        options.insert((*it)[2]);
    return options;
}

TEST(SnapDocs, HelpManPageAndCompletionNameTheSameOptions) {
    const std::set<std::string> help = optionsIn(snapUsage);
    EXPECT_TRUE(help.count("--version") && help.count("--fail-below") && help.count("-h"));
    const std::string page = sourceFile("snap/corvane-snap.1");
    ASSERT_NE(page.find(".SH OPTIONS"), std::string::npos);
    EXPECT_EQ(optionsIn(page), help) << "snap/corvane-snap.1 against --help";
    // The completion's list is its first line of options: comments and the
    // words it completes after an option do not count.
    const std::string completion = sourceFile("snap/corvane-snap.bash-completion");
    const std::smatch list = [&] {
        std::smatch m;
        std::regex_search(completion, m, std::regex(R"(_corvane_snap_options="([^"]*)\")"));
        return m;
    }();
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(optionsIn(list[1].str()), help) << "the completion's options against --help";
}

} // namespace
