#include "cli/Listing.h"

#include <nlohmann/json.hpp>

namespace corvane {

namespace {

class TTsvWriter : public TListingWriter {
  public:
    explicit TTsvWriter(std::ostream& out) : out_(out) {}
    void Row(const std::vector<std::string>& values) override {
        for (size_t i = 0; i < values.size(); ++i) {
            if (i > 0) out_ << '\t';
            out_ << EscapeTsvField(values[i]);
        }
        out_ << '\n';
    }
    void Finish() override { out_.flush(); }

  private:
    std::ostream& out_;
};

class TCsvWriter : public TListingWriter {
  public:
    TCsvWriter(const TListingLayout& layout, std::ostream& out) : out_(out) {
        std::vector<std::string> names;
        for (const TListingColumn& column : layout.Columns) names.push_back(column.Name);
        Row(names);
    }
    void Row(const std::vector<std::string>& values) override {
        for (size_t i = 0; i < values.size(); ++i) {
            if (i > 0) out_ << ',';
            out_ << QuoteCsvField(values[i]);
        }
        out_ << "\r\n";
    }
    void Finish() override { out_.flush(); }

  private:
    std::ostream& out_;
};

class TJsonWriter : public TListingWriter {
  public:
    TJsonWriter(TListingLayout layout, std::ostream& out) : layout_(std::move(layout)), out_(out) {
        out_ << '[';
    }
    void Row(const std::vector<std::string>& values) override {
        nlohmann::ordered_json record = nlohmann::ordered_json::object();
        for (size_t i = 0; i < values.size() && i < layout_.Columns.size(); ++i) {
            const TListingColumn& column = layout_.Columns[i];
            if (column.Numeric) {
                record[column.Name] = std::stoll(values[i]);
            } else {
                record[column.Name] = values[i];
                if (!IsValidUtf8(values[i]))
                    record[column.Name + "Base64"] = EncodeBase64(values[i]);
            }
        }
        out_ << (first_ ? "\n  " : ",\n  ")
             << record.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
        first_ = false;
    }
    void Finish() override {
        out_ << (first_ ? "]\n" : "\n]\n");
        out_.flush();
    }

  private:
    TListingLayout layout_;
    std::ostream& out_;
    bool first_ = true;
};

class TNulWriter : public TListingWriter {
  public:
    TNulWriter(TListingLayout layout, std::ostream& out) : layout_(std::move(layout)), out_(out) {}
    void Row(const std::vector<std::string>& values) override {
        for (const std::string& name : layout_.FileNames(values)) out_ << name << '\0';
    }
    void Finish() override { out_.flush(); }

  private:
    TListingLayout layout_;
    std::ostream& out_;
};

}  // namespace

std::unique_ptr<TListingWriter> MakeListingWriter(TListingFormat format, TListingLayout layout,
                                                  std::ostream& out) {
    switch (format) {
        case TListingFormat::Csv:
            return std::make_unique<TCsvWriter>(layout, out);
        case TListingFormat::Json:
            return std::make_unique<TJsonWriter>(std::move(layout), out);
        case TListingFormat::Nul:
            return std::make_unique<TNulWriter>(std::move(layout), out);
        case TListingFormat::Tsv:
            break;
    }
    return std::make_unique<TTsvWriter>(out);
}

std::string EscapeTsvField(std::string_view text) {
    std::string escaped;
    escaped.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '\t':
                escaped += "\\t";
                break;
            case '\n':
                escaped += "\\n";
                break;
            case '\r':
                escaped += "\\r";
                break;
            case '\\':
                escaped += "\\\\";
                break;
            default:
                escaped += c;
        }
    }
    return escaped;
}

std::string QuoteCsvField(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

bool IsValidUtf8(std::string_view text) {
    size_t i = 0;
    while (i < text.size()) {
        const auto byte = static_cast<unsigned char>(text[i]);
        size_t length = 0;
        uint32_t code = 0;
        if (byte < 0x80) {
            ++i;
            continue;
        } else if ((byte & 0xE0) == 0xC0) {
            length = 2;
            code = byte & 0x1F;
        } else if ((byte & 0xF0) == 0xE0) {
            length = 3;
            code = byte & 0x0F;
        } else if ((byte & 0xF8) == 0xF0) {
            length = 4;
            code = byte & 0x07;
        } else {
            return false;
        }
        if (i + length > text.size()) return false;
        for (size_t k = 1; k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            code = (code << 6) | (next & 0x3F);
        }
        // Overlong forms, surrogates and values beyond U+10FFFF are invalid.
        static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kSmallest[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

std::string EncodeBase64(std::string_view bytes) {
    static constexpr char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string encoded;
    encoded.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t i = 0; i < bytes.size(); i += 3) {
        uint32_t group = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
        encoded += kDigits[(group >> 18) & 63];
        encoded += kDigits[(group >> 12) & 63];
        encoded += i + 1 < bytes.size() ? kDigits[(group >> 6) & 63] : '=';
        encoded += i + 2 < bytes.size() ? kDigits[group & 63] : '=';
    }
    return encoded;
}

}  // namespace corvane
