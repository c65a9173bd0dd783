// The ignore list (NoMatchMemo): folders whose pictures are only matched with
// pictures of other listed folders.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane {

// Folds only the letters "a" to "z" to upper case; every other byte is kept.
std::string UpperCaseAscii(std::string_view text);

class TIgnoreList {
  public:
    TIgnoreList() = default;
    explicit TIgnoreList(const std::vector<std::string>& lines);

    // True when the upper-cased path equals some upper-cased line, whole text
    // against whole text: a sub-folder of a listed folder is not covered, and a
    // line with trailing blanks or without its final "/" covers nothing.
    bool Contains(std::string_view path) const;
    bool Empty() const { return upperLines_.empty(); }

  private:
    std::vector<std::string> upperLines_;
};

}  // namespace corvane
