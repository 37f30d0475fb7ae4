#pragma once

#include <QDialog>
#include <QStringList>

class QLineEdit;
class QListWidget;
class QPushButton;

// Picks installed applications, as the desktop's menus list them, by name or by searching. Window-modal on
// parent.
class ApplicationChooser final : public QDialog {
    Q_OBJECT

public:
    explicit ApplicationChooser(QWidget* parent = nullptr);

Q_SIGNALS:
    // "Choose": the desktop file IDs (without ".desktop") of the chosen applications, in list order, right
    // before the dialog accepts.
    void chosen(const QStringList& desktopIDs);

private:
    void filter(const QString& text);
    void choose();

    QLineEdit* m_search;
    QListWidget* m_list;
    QPushButton* m_choose;
};
