#include "matching/SignatureSnapshot.h"

#include <algorithm>

#include "tablestore/SignatureTables.h"

namespace corvane {

namespace {

std::string KeyOf(const std::string& fileName, const std::string& filePath) {
    std::string key;
    key.reserve(fileName.size() + filePath.size() + 1);
    key += fileName;
    key += '\0';
    key += filePath;
    return key;
}

// Puts the table's index and current record back when the walk ends, also
// when it ends by an error.
class TCursorRestorer {
  public:
    explicit TCursorRestorer(TStoreTable& table)
        : table_(table), indexName_(table.IndexName()), bookmark_(table.TakeBookmark()) {}
    ~TCursorRestorer() {
        try {
            Restore();
        } catch (...) {
            // The walk's own error is the one to report.
        }
    }
    void Restore() {
        if (done_) return;
        done_ = true;
        table_.SetIndexName(indexName_);
        table_.MoveToBookmark(bookmark_);
    }

  private:
    TStoreTable& table_;
    std::string indexName_;
    TBookmark bookmark_;
    bool done_ = false;
};

}  // namespace

void TSignatureSnapshot::AddHot(const TEntry& entry) {
    THot hot;
    for (size_t i = 0; i < 4; ++i) {
        const uint8_t c = i < entry.Text.size() ? static_cast<uint8_t>(entry.Text[i]) : 0;
        hot.Prefix = hot.Prefix << 8 | c;
    }
    hot.LongText = entry.Text.size() > 4;
    hot.Ignored = entry.Ignored;
    hot.Parsed = entry.Parsed;
    hot.Compact = entry.Parsed;
    for (const int32_t value : entry.Values.Values) {
        hot.Compact = hot.Compact && value >= 0 && value <= 255;
        compact_.push_back(static_cast<uint8_t>(value));
    }
    hot_.push_back(hot);
}

void TSignatureSnapshot::Load(TSignaturesTableObjects& objects, const TIgnoreList& ignore) {
    entries_.clear();
    finder_.reset();
    byKey_.clear();
    hot_.clear();
    compact_.clear();
    TStoreTable& table = objects.SignaturesTable;
    TCursorRestorer restorer(table);
    table.SetIndexName("BySignature");
    entries_.reserve(static_cast<size_t>(table.RecordCount()));
    for (table.First(); !table.AtEnd(); table.Next()) {
        TEntry entry;
        const std::string fileName = objects.SignaturesTableFileName.Value();
        const std::string filePath = objects.SignaturesTableFilePath.Value();
        entry.Text = objects.SignaturesTableSignature.Value();
        entry.FullName = filePath + fileName;
        entry.Ignored = ignore.Contains(filePath);
        try {
            entry.Values = StringToSignature(entry.Text);
            entry.Parsed = true;
        } catch (const Exception& error) {
            entry.ParseError = error.Message();
        }
        byKey_.emplace(KeyOf(fileName, filePath), entries_.size());
        AddHot(entry);
        entries_.push_back(std::move(entry));
    }
    restorer.Restore();
    BuildFinder();
}

void TSignatureSnapshot::BuildFinder() {
    finder_.reset();
    const size_t count = entries_.size();
    for (int status = 0; status < 2; ++status) {
        nextWithStatus_[status].assign(count, static_cast<uint32_t>(count));
        uint32_t next = static_cast<uint32_t>(count);
        for (size_t i = count; i-- > 0;) {
            if (hot_[i].Ignored == (status == 1)) next = static_cast<uint32_t>(i);
            nextWithStatus_[status][i] = next;
        }
    }
    std::vector<TMatchFinder::TValues> values(count);
    std::vector<bool> ignored(count);
    for (size_t i = 0; i < count; ++i) {
        if (!hot_[i].Compact) return;  // the plain scan reports bad texts in order
        std::copy_n(CompactValues(i), TSignature::kValues, values[i].begin());
        ignored[i] = hot_[i].Ignored;
    }
    finder_ = std::make_unique<TMatchFinder>(std::move(values), std::move(ignored));
}

std::optional<size_t> TSignatureSnapshot::Find(const std::string& fileName,
                                               const std::string& filePath,
                                               const std::string& signatureText) const {
    const auto found = byKey_.find(KeyOf(fileName, filePath));
    if (found == byKey_.end()) return std::nullopt;
    if (entries_[found->second].Text != signatureText) return std::nullopt;
    return found->second;
}

}  // namespace corvane
