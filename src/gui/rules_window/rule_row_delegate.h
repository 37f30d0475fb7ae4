#pragma once

#include <QStyledItemDelegate>

struct Rule;

// Draws one rule of the rules list on one line: its on/off check box, what it matches and from which
// applications, an arrow, and where matching links go, with a warning when that browser is not installed. A
// disabled rule is drawn at half opacity. The check box answers a click on it and Space on the current row; the
// list's accessibility reads the row as a checkable item with spokenText().
class RuleRowDelegate final : public QStyledItemDelegate {
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    // Everything the row shows, as one sentence for a screen reader.
    static QString spokenText(const Rule& rule);
    // "from Slack, mail": the second line; empty for a rule that takes links from any application.
    static QString sourcesText(const Rule& rule);
    // "Chrome is not installed. …" for a rule whose browser is gone; empty otherwise.
    static QString missingBrowserText(const Rule& rule);
    // The tooltip of the row's check box.
    static QString toggleToolTip(bool isEnabled);

    // Where the row's check box is drawn, for clicks and tests.
    QRect checkBoxRect(const QStyleOptionViewItem& option) const;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
};
