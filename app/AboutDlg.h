#pragma once
// The About box (dialog 100). At start-up it doubles as the splash: it then closes itself on
// the first tick of timer 2, 1500 ms after it was shown.
#include <QDialog>
#include <QTimer>

class QLabel;
class QLineEdit;

namespace quorvane {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kDialogId = 100;
    static constexpr int kSplashTimerId = 2;
    static constexpr int kSplashMs = 1500;
    static constexpr int kVersion = 1182, kSamples = 1194, kOk = 1;

    // splashMs > 0 makes it the splash.
    explicit CAboutDlg(QWidget* parent = nullptr, int splashMs = 0);

    // "Version %d.%02d"
    static QString versionText(int major, int minor);
    // The program's own version line, from the version the program was built with.
    static QString programVersionText();
    // The samples line: "DataDir" + "/Samples/" when set; otherwise the folder the samples were
    // installed in beside the program, if any; otherwise "Samples not installed".
    static QString samplesText(const QString& dataDir, const QString& installedFolder);
    // The samples line for this run, from the settings store and the program's location.
    static QString currentSamplesText();
    // The samples folder installed with the program (share/quorvane/samples beside bin/, or
    // samples/ in the build tree), or empty.
    static QString installedSamplesFolder();

    bool splashTimerActive() const { return timer_.isActive(); }

public slots:
    void accept() override;

private:
    QTimer timer_;
};

}  // namespace quorvane
