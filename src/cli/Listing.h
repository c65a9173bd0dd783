// Listings of table rows on a stream, one row at a time (nothing is held).
//
// Formats:
//   tsv   one line per row, fields separated by a tab, no header. In the
//         text fields a tab is written as \t, a newline as \n, a carriage
//         return as \r and a backslash as \\; every other byte is kept.
//   csv   RFC 4180: a header line with the field names, then one record per
//         row; a field holding a comma, a double quote or a line break is
//         quoted, its double quotes doubled. Bytes are kept.
//   json  one document: an array of objects whose members are the table's
//         field names, in the table's order. A text that is not valid UTF-8
//         is written with every invalid byte replaced by U+FFFD, and a
//         member named like the field with "Base64" appended holds its exact
//         bytes in Base64 (RFC 4648), so nothing is lost.
//   nul   only the file names of each row, each followed by a NUL byte,
//         bytes kept (for xargs -0).
#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

enum class TListingFormat { Tsv, Csv, Json, Nul };

struct TListingColumn {
    std::string Name;
    bool Numeric = false;  // written as a JSON number
};

struct TListingLayout {
    std::vector<TListingColumn> Columns;
    // The full file names a row stands for, for the nul format.
    std::function<std::vector<std::string>(const std::vector<std::string>& row)> FileNames;
};

class TListingWriter {
  public:
    virtual ~TListingWriter() = default;
    // One row: a value per column, in the layout's order.
    virtual void Row(const std::vector<std::string>& values) = 0;
    // Ends the listing (closes the JSON document) and flushes the stream.
    virtual void Finish() = 0;
};

std::unique_ptr<TListingWriter> MakeListingWriter(TListingFormat format, TListingLayout layout,
                                                  std::ostream& out);

std::string EscapeTsvField(std::string_view text);
std::string QuoteCsvField(std::string_view text);
bool IsValidUtf8(std::string_view text);
std::string EncodeBase64(std::string_view bytes);

}  // namespace corvane
