#include "reports/core/ReportLines.h"

#include <new>
#include <stdexcept>

namespace quorvane {

bool ReportLines::append(std::string_view line) {
    if (ends_.size() >= limit_) return false;
    return appendPastLimit(line);
}

bool ReportLines::appendPastLimit(std::string_view line) {
    try {
        text_.append(line);
        ends_.push_back(text_.size());
    } catch (const std::bad_alloc&) {
        // Keep the store as it was before the refused line.
        text_.resize(ends_.empty() ? 0 : std::size_t(ends_.back()));
        return false;
    } catch (const std::length_error&) {
        text_.resize(ends_.empty() ? 0 : std::size_t(ends_.back()));
        return false;
    }
    return true;
}

void ReportLines::clear() {
    text_.clear();
    ends_.clear();
}

std::string_view ReportLines::line(std::size_t i) const {
    const std::size_t begin = i == 0 ? 0 : std::size_t(ends_[i - 1]);
    return std::string_view(text_).substr(begin, std::size_t(ends_[i]) - begin);
}

std::vector<std::string> ReportLines::toVector() const {
    std::vector<std::string> out;
    out.reserve(size());
    for (std::size_t i = 0; i < size(); ++i) out.emplace_back(line(i));
    return out;
}

}  // namespace quorvane
