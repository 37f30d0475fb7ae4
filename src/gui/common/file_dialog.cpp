#include "file_dialog.h"

#include <QFileDialog>
#include <QList>

#include <memory>
#include <utility>

namespace {

struct Hooks {
    QList<std::optional<QString>> answers;
    std::optional<FileDialog::Request> lastShown;
};

Hooks& hooks()
{
    static Hooks instance;
    return instance;
}

} // namespace

void FileDialog::open(const Request& request, Answer answered, QWidget* parent)
{
    hooks().lastShown = request;
    if (!hooks().answers.isEmpty()) {
        answered(hooks().answers.takeFirst());
        return;
    }

    auto* dialog = new QFileDialog(parent, request.message, request.directory);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setWindowModality(Qt::WindowModal);
    const bool isSave = request.mode == Request::Mode::save;
    dialog->setAcceptMode(isSave ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(isSave ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (!request.nameFilters.isEmpty())
        dialog->setNameFilters(request.nameFilters);
    if (!request.acceptLabel.isEmpty())
        dialog->setLabelText(QFileDialog::Accept, request.acceptLabel);
    if (request.showsHiddenFiles)
        dialog->setFilter(dialog->filter() | QDir::Hidden);
    if (!request.fileName.isEmpty())
        dialog->selectFile(request.fileName);
    // Exactly one answer, whichever way the dialog ends.
    auto shared = std::make_shared<Answer>(std::move(answered));
    QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, shared](int result) {
        const QStringList files = dialog->selectedFiles();
        if (Answer answer = std::exchange(*shared, nullptr))
            answer(result == QDialog::Accepted && !files.isEmpty() ? std::optional(files.first()) : std::nullopt);
    });
    dialog->open();
}

void FileDialog::setNextFileName(std::optional<QString> path)
{
    hooks().answers.append(std::move(path));
}

std::optional<FileDialog::Request> FileDialog::lastShown()
{
    return hooks().lastShown;
}

void FileDialog::reset()
{
    hooks() = Hooks();
}
