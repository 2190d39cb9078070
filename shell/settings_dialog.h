#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>

#include "commands/settings_dialogs.h"

class QLineEdit;

namespace arbora {

// The templates of the two settings dialogs, by id.
enum class DialogTemplate { treeSpecies = 101, standCondition = 102 };

// A modal settings dialog made from its template: edit fields known by their ids, OK
// as the default button, Cancel, the close box and Escape cancelling. OK closes the
// dialog only when every field can be read; otherwise the forester is told which
// field is wrong and the dialog stays open with the texts as typed, the keyboard in
// the wrong field. The dialog opens with the keyboard in its first field. The field
// that takes the keyboard has its text selected, so that typing replaces it.
class SettingsDialog : public QDialog {
    Q_OBJECT

  public:
    // Reads the fields through the given source and stores them, or says why not.
    using Acceptor = std::function<std::optional<FieldRejection>(const FieldTextSource& textOf)>;
    using RejectionReporter = std::function<void(const FieldRejection& rejection)>;

    SettingsDialog(DialogTemplate id, QWidget* parent = nullptr);

    void setAcceptor(Acceptor acceptor, RejectionReporter reporter);
    void setFieldText(int id, const QString& text);
    QString fieldText(int id) const;
    QLineEdit* field(int id) const;

    void accept() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    Acceptor acceptor_;
    RejectionReporter reporter_;
};

}  // namespace arbora
