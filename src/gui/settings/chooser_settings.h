#pragma once

#include "browsers/browsers.h"

#include <QAbstractListModel>
#include <QList>
#include <QWidget>

class Preferences;
class QCheckBox;
class QLabel;
class QListView;
class QPushButton;

// The browsers in the order the chooser offers them, the first nine with their Ctrl+digit shortcut.
class BrowserOrderModel final : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role { shortcutHintRole = Qt::UserRole + 1, desktopIDRole };

    using QAbstractListModel::QAbstractListModel;

    void setBrowsers(QList<Browsers::Browser> browsers);
    const QList<Browsers::Browser>& browsers() const { return m_browsers; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }

private:
    QList<Browsers::Browser> m_browsers;
};

// The "Chooser" tab: the order of the browsers in the chooser (dragged into place, or alphabetical) and whether
// holding Alt while clicking a link opens the chooser.
class ChooserSettings final : public QWidget {
    Q_OBJECT

public:
    explicit ChooserSettings(Preferences& preferences, QWidget* parent = nullptr);

    // Lists the installed browsers in the stored order.
    void refresh();
    // The rows at fromRows, in their order, go before toRow (counted before the move); the order shown is then
    // stored, naming every browser listed.
    void moveRows(const QList<int>& fromRows, int toRow);
    void sortAlphabetically();

    // For tests: the parts a user works with.
    BrowserOrderModel* model() const { return m_model; }
    QListView* list() const { return m_list; }
    QPushButton* sortButton() const { return m_sort; }
    QCheckBox* altToggle() const { return m_alt; }
    QCheckBox* profilesToggle() const { return m_profiles; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    Preferences& m_preferences;
    BrowserOrderModel* m_model = nullptr;
    QListView* m_list = nullptr;
    QLabel* m_empty = nullptr;
    QPushButton* m_sort = nullptr;
    QCheckBox* m_alt = nullptr;
    QCheckBox* m_profiles = nullptr;
};
