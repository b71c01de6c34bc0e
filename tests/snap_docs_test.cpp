// corvane-snap's options, formats, writers and metrics as --help, the man
// page and the bash completion name them, against the tables the program
// reads: a row added to a table and not to the texts (or the other way) fails here.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "snap/cli/options.h"
#include "snap/format/name_guess.h"

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
    const std::regex option(R"((^|[^-\w])(--[a-z][a-z0-9]*(-[a-z0-9]+)*|-h)\b)");
    for (std::sregex_iterator it(text.begin(), text.end(), option), end; it != end; ++it)
        options.insert((*it)[2]);
    return options;
}

// The words of a shell variable or a case arm's word list in the completion.
std::set<std::string> completionWords(const std::string& completion, const std::string& pattern) {
    std::smatch m;
    if (!std::regex_search(completion, m, std::regex(pattern))) return {};
    std::istringstream words(m[1].str());
    std::set<std::string> set;
    for (std::string word; words >> word;) set.insert(word);
    return set;
}

// Every option the option, mode and metric tables know, and those taking a value.
std::set<std::string> tableOptions(bool valuedOnly) {
    std::set<std::string> options;
    for (const OptionRow& row : optionRows)
        if (row.takesValue || !valuedOnly) options.insert(row.name);
    for (const ModeRule& rule : modeRules)
        for (const char* word : {rule.word, rule.alias})
            if (word && !valuedOnly) options.insert(word);
    for (int i = 0; i < metricCount; ++i) {
        options.insert(metricTable[i].metric->statsOption);
        if (metricTable[i].metric->gateOption) options.insert(metricTable[i].metric->gateOption);
    }
    return options;
}

TEST(SnapDocs, HelpManPageAndCompletionNameTheSameOptions) {
    const std::set<std::string> help = optionsIn(snapUsage);
    EXPECT_EQ(help, tableOptions(false)) << "--help against the option and mode tables";
    const std::string page = sourceFile("snap/corvane-snap.1");
    ASSERT_NE(page.find(".SH OPTIONS"), std::string::npos);
    EXPECT_EQ(optionsIn(page), help) << "snap/corvane-snap.1 against --help";
    // The completion's list is its first line of options: comments and the
    // words it completes after an option do not count.
    const std::string completion = sourceFile("snap/corvane-snap.bash-completion");
    const std::set<std::string> listed = completionWords(completion, R"(_corvane_snap_options="([^"]*)\")");
    EXPECT_EQ(listed, help) << "the completion's options against --help";
    EXPECT_EQ(completionWords(completion, R"(_corvane_snap_valued="([^"]*)\")"), tableOptions(true))
        << "the completion's options that take a value against the option table";
}

TEST(SnapDocs, FormatsWritersAndMetricsAreTheTablesOwn) {
    const std::string completion = sourceFile("snap/corvane-snap.bash-completion");
    const std::string page = std::regex_replace(sourceFile("snap/corvane-snap.1"), std::regex(R"(\\-)"), "-");
    const std::string help = snapUsage;
    // Every format by its name; --help and the man page may shorten the
    // deeper planar ones to "the same in 12le and 16le" after the 10le names.
    const std::set<std::string> formats = completionWords(completion, R"(--format\)\s*COMPREPLY=\(\$\(compgen -W "([^"]*)\")");
    for (const FrameFormat& format : frameFormatRows()) {
        const std::string name = format.name;
        EXPECT_TRUE(formats.count(name)) << name << " is missing from the completion";
        const std::string shortened = std::regex_replace(name, std::regex("(12|16)le$"), "10le");
        for (const std::string* text : {&help, &page})
            EXPECT_TRUE(text->find(name) != std::string::npos ||
                        (text->find(shortened) != std::string::npos && text->find("the same in 12le and 16le") != std::string::npos))
                << name << " is missing from " << (text == &help ? "--help" : "the man page");
    }
    for (const std::string& word : formats) EXPECT_NE(findFrameFormat(word.c_str()), nullptr) << word;
    // The metrics: each alone, and all of them joined.
    std::set<std::string> metrics;
    std::string all;
    for (int i = 0; i < metricCount; ++i) {
        metrics.insert(metricTable[i].metric->name);
        all += (all.empty() ? "" : ",") + std::string(metricTable[i].metric->name);
    }
    metrics.insert(all);
    EXPECT_EQ(completionWords(completion, R"(--metric\)\s*COMPREPLY=\(\$\(compgen -W "([^"]*)\")"), metrics);
    for (const std::string& metric : metrics)
        EXPECT_TRUE(help.find(metric) != std::string::npos && page.find(metric) != std::string::npos) << metric;
    // The writers, by the extensions their messages list.
    const std::regex extension(R"(\.[a-z0-9]+)");
    const std::string extensions = writerExtensionList();
    int writers = 0;
    for (std::sregex_iterator it(extensions.begin(), extensions.end(), extension), end; it != end; ++it, ++writers) {
        const std::string name = "out" + it->str();
        const Writer* writer = writerForName(name.c_str());
        ASSERT_NE(writer, nullptr) << name;
        EXPECT_EQ(writer->extension, it->str());
        EXPECT_NE(help.find(it->str()), std::string::npos) << it->str() << " is missing from --help";
        EXPECT_NE(page.find(it->str()), std::string::npos) << it->str() << " is missing from the man page";
    }
    EXPECT_EQ(writers, writerCount);
    for (const NamedSize& size : namedSizes) EXPECT_NE(page.find(size.name), std::string::npos) << size.name;
    const std::string sampleLimit = "1 to " + std::to_string(SAMPLE_FRAME_COUNT_LIMIT);
    EXPECT_NE(help.find(sampleLimit), std::string::npos) << "--make-sample's limit is missing from --help";
    EXPECT_NE(page.find(sampleLimit), std::string::npos) << "--make-sample's limit is missing from the man page";
    // A file's name may hold any format --format takes: that section lists them all in full.
    const size_t names = page.find(".SH GEOMETRY FROM THE FILE NAME");
    ASSERT_NE(names, std::string::npos);
    const std::string namesSection = page.substr(names, page.find(".SH ", names + 1) - names);
    for (const FrameFormat& format : frameFormatRows())
        EXPECT_TRUE(std::regex_search(namesSection, std::regex(std::string(R"((^|\W))") + format.name + R"((\W|$))")))
            << format.name << " is missing from the man page's file-name formats";
    // Read from the source tree, the title line shows no build placeholder.
    const size_t title = page.find("\n.TH ");
    ASSERT_NE(title, std::string::npos);
    EXPECT_EQ(page.substr(title, page.find('\n', title + 1) - title).find('@'), std::string::npos);
}

} // namespace
