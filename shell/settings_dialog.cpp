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

void SettingsDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The first field in tab order, not the first button, takes the keyboard.
    for (QWidget* next = nextInFocusChain(); next != this; next = next->nextInFocusChain()) {
        auto* edit = qobject_cast<QLineEdit*>(next);
        if (!edit || !(edit->focusPolicy() & Qt::TabFocus)) continue;
        edit->setFocus(Qt::TabFocusReason);
        edit->selectAll();
        break;
    }
}

void SettingsDialog::accept() {
    if (acceptor_) {
        // The fields go to the reader as UTF-8: a character it cannot read is quoted
        // back in the message as typed.
        const auto rejection =
            acceptor_([this](int id) { return fieldText(id).toUtf8().toStdString(); });
        if (rejection) {
            if (reporter_) reporter_(*rejection);
            // The wrong field takes the keyboard with its text selected, so that
            // typing replaces it.
            if (QLineEdit* edit = field(rejection->id)) {
                edit->setFocus(Qt::OtherFocusReason);
                edit->selectAll();
            }
            return;
        }
    }
    QDialog::accept();
}

}  // namespace arbora
