// One QApplication for the report tests (gtest_main owns main()), on the offscreen platform
// unless the environment chooses another. Another environment of this program may have made
// the application already; then this one leaves it alone.
#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

namespace {

class ReportsQtEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        if (QApplication::instance()) return;
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "quorvane_reports_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
        QApplication::setApplicationName(QStringLiteral("Quorvane"));
        QApplication::setOrganizationName(QStringLiteral("Vendrik"));
    }
    void TearDown() override { app_.reset(); }

private:
    std::unique_ptr<QApplication> app_;
};

const auto* const kRegistered = ::testing::AddGlobalTestEnvironment(new ReportsQtEnvironment);

}  // namespace
