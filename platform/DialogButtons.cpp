#include "platform/DialogButtons.h"

#include <QBoxLayout>
#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>

#include "platform/Help.h"
#include "platform/TextCodec.h"

namespace quorvane {

DialogButtons addDialogButtons(QDialog* dialog, QBoxLayout* layout, int dialogId, int helpId,
                               bool okAccepts) {
    DialogButtons row;
    setHelpDialogId(dialog, dialogId);  // context help on any control shows this topic
    row.box = new QDialogButtonBox(dialog);
    row.ok = row.box->addButton(QDialogButtonBox::Ok);
    row.ok->setObjectName(QStringLiteral("1"));
    row.ok->setDefault(true);
    row.cancel = row.box->addButton(QDialogButtonBox::Cancel);
    row.cancel->setObjectName(QStringLiteral("2"));
    row.help = row.box->addButton(QDialogButtonBox::Help);
    row.help->setObjectName(QString::number(helpId));
    if (okAccepts) QObject::connect(row.ok, &QPushButton::clicked, dialog, &QDialog::accept);
    QObject::connect(row.cancel, &QPushButton::clicked, dialog, &QDialog::reject);
    QObject::connect(row.help, &QPushButton::clicked, dialog,
                     [dialogId] { appHelp().showTopic(helpContext(unsigned(dialogId))); });
    layout->addWidget(row.box);
    return row;
}

void showMessage(const Message& message) {
    appPrompter().message(fromCp1252(message.text), fromCp1252(message.title), message.icon);
}

}  // namespace quorvane
