#pragma once

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAccessible>
#include <QMenu>
#include <QTest>
#include <QToolButton>
#include <QWidget>

#include <algorithm>
#include <type_traits>

// Finding the controls of a window as a person or a screen reader would, and reading menus as they show.
namespace Widgets {

// The first child of type T for which `test` (a predicate or a member such as &QLabel::wordWrap) holds.
template <typename T, typename Test>
T* childWhere(const QObject& parent, Test test)
{
    const QList<T*> children = parent.findChildren<T*>();
    const auto found = std::ranges::find_if(children, test);
    return found == children.end() ? nullptr : *found;
}

// The control of type T that a screen reader calls `name`, or a button that reads it (mnemonic markers dropped).
template <typename T = QAbstractButton>
T* named(const QObject& parent, const QString& name)
{
    return childWhere<T>(parent, [&](const T* control) {
        if constexpr (std::is_base_of_v<QAbstractButton, T>) {
            if (QString(control->text()).remove(u'&') == name)
                return true;
        }
        return control->accessibleName() == name;
    });
}

// The item of the menu whose text is `text`.
inline QAction* actionNamed(const QMenu& menu, const QString& text)
{
    const QList<QAction*> actions = menu.actions();
    const auto found = std::find_if(actions.begin(), actions.end(), [&](QAction* a) { return a->text() == text; });
    return found == actions.end() ? nullptr : *found;
}

// The menu as it reads: each item with its shortcut in brackets, "-" for a separator, "▸ " before a submenu,
// whose items follow indented by two spaces when `expand`.
inline QStringList menuLines(const QMenu& menu, bool expand = false, const QString& indent = {})
{
    QStringList lines;
    for (const QAction* action : menu.actions()) {
        QString line = action->isSeparator() ? QStringLiteral("-") : action->text();
        if (action->menu())
            line.prepend(QStringLiteral("▸ "));
        if (!action->shortcut().isEmpty())
            line += QStringLiteral(" [") + action->shortcut().toString() + u']';
        lines.append(indent + line);
        if (expand && action->menu())
            lines += menuLines(*action->menu(), true, indent + QStringLiteral("  "));
    }
    return lines;
}

// Fails the running test, naming the control, when a control of `root` that takes the focus and shows in
// `window` has no name for a screen reader, or a menu button does not open its menu on the reader's Press.
// Callers return when QTest::currentTestFailed().
inline void verifyControlsNamed(QWidget& root, const QWidget& window, const QString& where = {})
{
    QList<QWidget*> widgets = root.findChildren<QWidget*>();
    widgets.append(&root);
    for (QWidget* widget : std::as_const(widgets)) {
        // A scroll area's viewport takes the focus for the area, which carries the name.
        if (widget->focusPolicy() == Qt::NoFocus || !widget->isVisibleTo(&window) ||
            qobject_cast<QAbstractScrollArea*>(widget->parentWidget()))
            continue;
        const QString what = where + QString::fromLatin1(widget->metaObject()->className());
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(widget);
        QVERIFY2(accessible && !accessible->text(QAccessible::Name).isEmpty(), qPrintable(what));
        auto* button = qobject_cast<QToolButton*>(widget);
        if (!button || !button->menu())
            continue;
        QAccessibleActionInterface* actions = accessible->actionInterface();
        QVERIFY2(actions && actions->actionNames().contains(QAccessibleActionInterface::pressAction()),
                 qPrintable(what));
        actions->doAction(QAccessibleActionInterface::pressAction());
        QTRY_VERIFY2(button->menu()->isVisible(), qPrintable(what));
        button->menu()->hide();
    }
}

} // namespace Widgets
