#pragma once
// A recording surface for the reports' tests, beside the reservations of report_rows.h.
#include <QString>
#include <string>
#include <vector>

#include "report_rows.h"

#include "app/GroupLayout.h"
#include "reports/ReportPrinting.h"

namespace quorvane::testing {

struct DrawnText {
    int page, x, y;
    QString text;
};

// Pages of W = 8, L = 16 (height 14 + leading 2) of a given height; records every text.
class RecordingPages final : public ReportPages, public PaintSurface {
public:
    explicit RecordingPages(int height) : height_(height) {}
    std::vector<DrawnText> drawn;
    int page = 1;

    PaintSurface& surface() override { return *this; }
    int pageHeight() const override { return height_; }
    bool newPage() override {
        ++page;
        return true;
    }
    int charHeight() const override { return 14; }
    int externalLeading() const override { return 2; }
    int averageCharWidth() const override { return 8; }
    int textWidth(const QString& t) const override { return 8 * int(t.size()); }
    void drawText(int x, int y, const QString& t, std::int64_t) override {
        drawn.push_back({page, x, y, t});
    }
    void drawRectangle(const QRect&) override {}
    void fillRect(const QRect&, std::uint32_t) override {}

private:
    int height_;
};

}  // namespace quorvane::testing
