// corvane-cli run as a separate process, and a fixture with a program folder
// and a pictures folder of the test.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "../scan/TestPictures.h"

namespace corvane::test {

struct TResult {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string Quote(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

// Runs corvane-cli with the words, capturing both outputs.
inline TResult RunCli(const std::vector<std::string>& words) {
    TTempFolder capture;
    std::string command = Quote(CORVANE_CLI);
    for (const std::string& word : words) command += " " + Quote(word);
    command += " >" + Quote(capture.Path() + "out") + " 2>" + Quote(capture.Path() + "err");
    TResult result;
    const int raw = std::system(command.c_str());
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = ReadBytes(capture.Path() + "out");
    result.err = ReadBytes(capture.Path() + "err");
    return result;
}

class CliFolderTest : public ::testing::Test {
  protected:
    CliFolderTest() {
        data_ = folder_.Make("data");
        pictures_ = folder_.Make("pictures");
        // Removed files go to a trash of the test, not the user's.
        ::setenv("HOME", folder_.Make("home").c_str(), 1);
        ::setenv("XDG_DATA_HOME", (folder_.Path() + "home/data").c_str(), 1);
    }
    // corvane-cli on the test's program folder.
    TResult Cli(std::vector<std::string> words) {
        words.insert(words.begin(), {"--data", data_});
        return RunCli(words);
    }
    TTempFolder folder_;
    std::string data_;
    std::string pictures_;
};

}  // namespace corvane::test
