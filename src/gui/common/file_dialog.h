#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QWidget;

// Every file dialog Linkherd shows goes through here, so that tests can answer it with a file name instead of a
// person. Like alerts, the dialogs never run an event loop of their own. Main thread only.
class FileDialog final {
public:
    struct Request {
        enum class Mode { open, save };
        Mode mode = Mode::open;
        QString message;         // the dialog's title: what the file is for
        QString acceptLabel;     // the accepting button, "Import"; empty: the platform's word
        QString directory;       // where the dialog starts; empty: the platform's choice
        QString fileName;        // filled in
        QStringList nameFilters; // "JavaScript (*.js)"; the last one may be "All files (*)"
        bool showsHiddenFiles = false;

        friend bool operator==(const Request&, const Request&) = default;
    };
    // Called once: the chosen file's absolute path, or nothing when the user cancelled.
    using Answer = std::function<void(std::optional<QString> path)>;

    FileDialog() = delete;

    // Shows the dialog window-modal on parent and returns at once; the answer comes later, from the event loop.
    static void open(const Request& request, Answer answered, QWidget* parent = nullptr);

    // The next dialog is answered with this path (nothing: cancelled) without being shown, before open() returns;
    // answers queue up in order.
    static void setNextFileName(std::optional<QString> path);
    // The last dialog shown or answered.
    static std::optional<Request> lastShown();
    // Forgets queued answers and the last dialog.
    static void reset();
};
