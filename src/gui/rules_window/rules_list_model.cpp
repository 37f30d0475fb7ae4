#include "rules_list_model.h"

#include "routing/rule_store.h"
#include "rule_row_delegate.h"

#include <QDataStream>
#include <QIODevice>
#include <QMimeData>

#include <algorithm>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// Row numbers of this window's own list; foreign drops (text, files) are refused.
constexpr auto rowsMimeType = "application/x-linkherd-rule-rows"_L1;

QList<QUuid> idsOf(const QList<Rule>& rules)
{
    QList<QUuid> ids;
    ids.reserve(rules.size());
    for (const Rule& rule : rules)
        ids.append(rule.id);
    return ids;
}

} // namespace

RulesListModel::RulesListModel(RuleStore& store, QObject* parent)
    : QAbstractListModel(parent),
      m_store(store),
      m_ids(idsOf(store.rules()))
{
    connect(&m_store, &RuleStore::rulesChanged, this, &RulesListModel::followStore);
}

void RulesListModel::followStore()
{
    QList<QUuid> ids = idsOf(m_store.rules());
    if (ids == m_ids) {
        // Same rules in the same places (a toggle, an edit, Send To): the rows stay selected where they are.
        if (!ids.isEmpty())
            Q_EMIT dataChanged(index(0), index(int(ids.size()) - 1));
        return;
    }
    beginResetModel();
    m_ids = std::move(ids);
    endResetModel();
    Q_EMIT rowsRelaidOut();
}

std::optional<int> RulesListModel::rowOf(const QUuid& id) const
{
    const qsizetype row = m_ids.indexOf(id);
    return row < 0 ? std::nullopt : std::optional<int>(int(row));
}

void RulesListModel::setDecidingRule(const QUuid& id)
{
    if (id == m_decidingRule)
        return;
    const QUuid previous = std::exchange(m_decidingRule, id);
    for (const QUuid& changed : {previous, id}) {
        if (const std::optional<int> row = rowOf(changed); row && !changed.isNull())
            Q_EMIT dataChanged(index(*row), index(*row), {isDecidingRole});
    }
}

int RulesListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_ids.size());
}

QVariant RulesListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_store.rules().size())
        return {};
    const Rule& rule = m_store.rules().at(index.row());
    switch (role) {
    case Qt::DisplayRole:
        return rule.summary();
    case Qt::CheckStateRole:
        return rule.isEnabled ? Qt::Checked : Qt::Unchecked;
    case Qt::AccessibleTextRole:
        return RuleRowDelegate::spokenText(rule);
    case ruleIdRole:
        return rule.id;
    case isDecidingRole:
        return !m_decidingRule.isNull() && rule.id == m_decidingRule;
    default:
        return {};
    }
}

bool RulesListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || !index.isValid() || index.row() >= m_store.rules().size())
        return false;
    Rule rule = m_store.rules().at(index.row());
    rule.isEnabled = value.value<Qt::CheckState>() == Qt::Checked;
    m_store.replace(rule);
    return true;
}

Qt::ItemFlags RulesListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsUserCheckable | Qt::ItemIsDragEnabled |
           Qt::ItemNeverHasChildren;
}

Qt::DropActions RulesListModel::supportedDropActions() const
{
    return Qt::MoveAction;
}

QStringList RulesListModel::mimeTypes() const
{
    return {rowsMimeType};
}

QMimeData* RulesListModel::mimeData(const QModelIndexList& indexes) const
{
    QList<qsizetype> rows;
    for (const QModelIndex& index : indexes)
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    stream << rows;
    auto* data = new QMimeData;
    data->setData(rowsMimeType, bytes);
    return data;
}

bool RulesListModel::canDropMimeData(const QMimeData* data, Qt::DropAction action, int, int, const QModelIndex&) const
{
    return action == Qt::MoveAction && data && data->hasFormat(rowsMimeType);
}

bool RulesListModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                  const QModelIndex& parent)
{
    if (!canDropMimeData(data, action, row, column, parent))
        return false;
    QList<qsizetype> rows;
    QDataStream stream(data->data(rowsMimeType));
    stream >> rows;
    const qsizetype count = m_store.rules().size();
    if (stream.status() != QDataStream::Ok || rows.isEmpty() ||
        std::any_of(rows.begin(), rows.end(), [count](qsizetype at) { return at < 0 || at >= count; }))
        return false;
    // Dropped onto a row: before it; below the last row: at the end.
    const qsizetype to = row >= 0 ? row : (parent.isValid() ? parent.row() : count);
    m_store.move(rows, std::clamp<qsizetype>(to, 0, count));
    // The store has moved them: the view must not remove the dragged rows as a move would.
    return false;
}
