// The input box and the open box, real or answered by an installed presenter.
#include "app/inputbox.h"

#include <QFileDialog>
#include <QInputDialog>

namespace tablor {

namespace {
InputPresenter& inputPresenter() {
    static InputPresenter presenter;
    return presenter;
}
OpenFilePresenter& openFilePresenter() {
    static OpenFilePresenter presenter;
    return presenter;
}
} // namespace

InputPresenter setInputPresenter(InputPresenter presenter) {
    InputPresenter previous = std::move(inputPresenter());
    inputPresenter() = std::move(presenter);
    return previous;
}

bool InputQuery(const QString& caption, const QString& prompt, QString& value, QWidget* parent) {
    std::optional<QString> answer;
    if (inputPresenter()) {
        answer = inputPresenter()({caption, prompt, value});
    } else {
        QInputDialog box(parent);
        box.setObjectName(QStringLiteral("InputQuery"));
        box.setWindowTitle(caption);
        box.setLabelText(prompt);
        box.setTextValue(value);
        box.setInputMode(QInputDialog::TextInput);
        if (box.exec() == QDialog::Accepted) answer = box.textValue();
    }
    if (!answer) return false;
    value = *answer;
    return true;
}

OpenFilePresenter setOpenFilePresenter(OpenFilePresenter presenter) {
    OpenFilePresenter previous = std::move(openFilePresenter());
    openFilePresenter() = std::move(presenter);
    return previous;
}

std::optional<QString> chooseFileToOpen(const OpenFileRequest& request, QWidget* parent) {
    if (openFilePresenter()) return openFilePresenter()(request);
    QFileDialog box(parent, request.title);
    box.setObjectName(QStringLiteral("odgLocalDb"));
    box.setFileMode(QFileDialog::ExistingFile);
    box.setAcceptMode(QFileDialog::AcceptOpen);
    box.setNameFilters(request.filters);
    box.setDefaultSuffix(request.defaultSuffix);
    if (box.exec() != QDialog::Accepted || box.selectedFiles().isEmpty()) return std::nullopt;
    return QFileInfo(box.selectedFiles().constFirst()).absoluteFilePath();
}

} // namespace tablor
