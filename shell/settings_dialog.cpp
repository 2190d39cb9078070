#include "settings_dialog.h"

#include <QLineEdit>

#include "ui_stand_condition.h"
#include "ui_tree_species.h"

namespace arbora {

SettingsDialog::SettingsDialog(DialogTemplate id, QWidget* parent) : QDialog(parent) {
    switch (id) {
        case DialogTemplate::treeSpecies:
            Ui::TreeSpeciesDialog().setupUi(this);
            break;
        case DialogTemplate::standCondition:
            Ui::StandConditionDialog().setupUi(this);
            break;
    }
    setFixedSize(size());
}

void SettingsDialog::setAcceptor(Acceptor acceptor, RejectionReporter reporter) {
    acceptor_ = std::move(acceptor);
    reporter_ = std::move(reporter);
}

QLineEdit* SettingsDialog::field(int id) const {
    return findChild<QLineEdit*>(QStringLiteral("field%1").arg(id));
}

void SettingsDialog::setFieldText(int id, const QString& text) {
    if (QLineEdit* edit = field(id)) {
        edit->setText(text);
        edit->setCursorPosition(0);
    }
}

QString SettingsDialog::fieldText(int id) const {
    const QLineEdit* edit = field(id);
    return edit ? edit->text() : QString();
}

void SettingsDialog::accept() {
    if (acceptor_) {
        // The fields are read as single-byte text, one character to a byte.
        const auto rejection =
            acceptor_([this](int id) { return fieldText(id).toLatin1().toStdString(); });
        if (rejection) {
            if (reporter_) reporter_(*rejection);
            if (QLineEdit* edit = field(rejection->id)) edit->setFocus();
            return;
        }
    }
    QDialog::accept();
}

}  // namespace arbora
