#include "app/AboutDlg.h"

#include <QCoreApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/SettingsStore.h"

namespace quorvane {

CAboutDlg::CAboutDlg(QWidget* parent, int splashMs) : QDialog(parent) {
    setObjectName(QString::number(kDialogId));
    setWindowTitle(QStringLiteral("About Quorvane"));
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    auto* name = new QLabel(QStringLiteral("Quorvane"), this);
    QFont bold = name->font();
    bold.setBold(true);
    bold.setPointSizeF(bold.pointSizeF() * 1.4);
    name->setFont(bold);
    layout->addWidget(name);

    auto* version = new QLabel(programVersionText(), this);
    version->setObjectName(QString::number(kVersion));
    layout->addWidget(version);

    layout->addWidget(
        new QLabel(QStringLiteral("Quorvane samples were installed in folder:"), this));
    auto* samples = new QLineEdit(currentSamplesText(), this);
    samples->setObjectName(QString::number(kSamples));
    samples->setReadOnly(true);
    samples->setMinimumWidth(320);
    layout->addWidget(samples);

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* ok = buttons->addButton(QDialogButtonBox::Ok);
    ok->setObjectName(QString::number(kOk));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &CAboutDlg::accept);
    layout->addWidget(buttons);

    if (splashMs > 0) {
        timer_.setObjectName(QString::number(kSplashTimerId));
        timer_.setInterval(splashMs);
        connect(&timer_, &QTimer::timeout, this, [this] {
            timer_.stop();
            QDialog::accept();
        });
        timer_.start();
    }
}

void CAboutDlg::accept() {
    timer_.stop();
    QDialog::accept();
}

QString CAboutDlg::versionText(int major, int minor) {
    return QString::asprintf("Version %d.%02d", major, minor);
}

QString CAboutDlg::programVersionText() {
    return versionText(QUORVANE_VERSION_MAJOR, QUORVANE_VERSION_MINOR);
}

QString CAboutDlg::samplesText(const QString& dataDir, const QString& installedFolder) {
    if (!dataDir.isEmpty()) {
        QString folder = dataDir;
        while (folder.endsWith(QLatin1Char('/')) && folder.size() > 1) folder.chop(1);
        return folder + QStringLiteral("/Samples/");
    }
    if (!installedFolder.isEmpty()) {
        return installedFolder.endsWith(QLatin1Char('/')) ? installedFolder
                                                          : installedFolder + QLatin1Char('/');
    }
    return QStringLiteral("Samples not installed");
}

QString CAboutDlg::currentSamplesText() {
    return samplesText(appSettings().getString(QStringLiteral("Data"), QStringLiteral("DataDir")),
                       installedSamplesFolder());
}

QString CAboutDlg::installedSamplesFolder() {
    const QString programDir = QCoreApplication::applicationDirPath();
    if (programDir.isEmpty()) return {};
    for (const char* relative : {"../share/quorvane/samples", "../samples"}) {
        const QFileInfo folder(programDir + QLatin1Char('/') + QLatin1String(relative));
        if (folder.isDir()) return QDir::cleanPath(folder.absoluteFilePath());
    }
    return {};
}

}  // namespace quorvane
