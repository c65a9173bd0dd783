// The group commands of corvane-cli:
//   groups [--margin N] [--colors|--sum] [--keep RULES] [--prefer DIR]...
//          [--selected] [--format tsv|json] [-0]
//   not-duplicate FILE1 FILE2
// Each takes the words after its name and returns the exit status: 0 done,
// 2 a usage error (reported on standard error); other errors are thrown.
#pragma once

#include <string>
#include <vector>

namespace corvane {

inline constexpr const char* kGroupsUsage =
    "  corvane-cli [--data DIR] groups [--margin N] [--colors|--sum] [--keep RULES]\n"
    "                 [--prefer DIR]... [--selected] [--format tsv|json] [-0]\n"
    "                 RULES: comma-separated pixels,largest,oldest,newest,folder,shortest,notbmp\n"
    "  corvane-cli [--data DIR] not-duplicate FILE1 FILE2\n";

int RunGroupsCommand(const std::string& programFolder, const std::vector<std::string>& words);
int RunNotDuplicateCommand(const std::string& programFolder, const std::vector<std::string>& words);

}  // namespace corvane
