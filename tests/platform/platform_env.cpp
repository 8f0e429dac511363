// One QApplication for the tests that show widgets (help window, message boxes).
#include <gtest/gtest.h>
#include <QApplication>

#include <memory>

namespace {

class QtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[32] = "quorvane_platform_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] auto* const g_env = ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
