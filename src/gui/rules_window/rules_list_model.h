#pragma once

#include <QAbstractListModel>
#include <QList>
#include <QUuid>

#include <optional>

class RuleStore;

// The store's rules as list rows, in evaluation order. Holds nothing but the rules' identifiers, to tell a change
// of content (rows stay, their data changes) from a change of order or number (the rows are laid out again).
// Writes go straight to the store: the check state through replace, drops through move.
class RulesListModel final : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role {
        ruleIdRole = Qt::UserRole + 1,
        isDecidingRole, // the rule that decides the link being tested
    };

    explicit RulesListModel(RuleStore& store, QObject* parent = nullptr);

    RuleStore& store() const { return m_store; }
    // The row of the rule with this identifier, if the store holds one.
    std::optional<int> rowOf(const QUuid& id) const;
    // Marks the rule that decides the link being tested; a null identifier marks none.
    void setDecidingRule(const QUuid& id);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    Qt::DropActions supportedDropActions() const override;
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

Q_SIGNALS:
    // The rows were laid out again; selections of rows must be restored by identifier.
    void rowsRelaidOut();

private:
    void followStore();

    RuleStore& m_store;
    QList<QUuid> m_ids;
    QUuid m_decidingRule;
};
