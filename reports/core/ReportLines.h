#pragma once
// The lines of a report, in the order they were added: one text buffer and the offsets into
// it, so a report of a million lines costs its bytes and one offset per line, not one heap
// block per line. Texts are Windows-1252 bytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane {

class ReportLines {
public:
    // False when the line cannot be kept (memory exhausted, or the limit reached); the
    // report then ends early.
    bool append(std::string_view line);
    // The closing lines of a report stopped early: kept past the limit, refused only when
    // memory is exhausted.
    bool appendPastLimit(std::string_view line);
    void clear();
    std::size_t size() const { return ends_.size(); }
    bool empty() const { return ends_.empty(); }
    std::string_view line(std::size_t i) const;
    std::vector<std::string> toVector() const;

    // The most lines kept; append refuses the line after it. Unlimited by default.
    void setLimit(std::size_t maxLines) { limit_ = maxLines; }

private:
    std::string text_;
    std::vector<std::uint64_t> ends_;
    std::size_t limit_ = SIZE_MAX;
};

}  // namespace quorvane
