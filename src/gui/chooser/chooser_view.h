#pragma once

#include "browsers/browsers.h"
#include "services/router.h"

#include <QList>
#include <QStringList>
#include <QWidget>

class Preferences;
class QAbstractButton;
class QCheckBox;
class QFontMetrics;
class QLayout;

// The content of the chooser panel: one link that needs a decision, where it came from, and the installed
// browsers in the user's order (with "Show profiles" on, one row per profile of a browser that has two or
// more), each chosen with a click or Ctrl+1…Ctrl+9. It decides nothing itself; it reports the chosen browser
// and profile with the state of its "Always open … this way" switch, or a cancel.
class ChooserView final : public QWidget {
    Q_OBJECT

public:
    static constexpr int fixedWidth = 380;
    static constexpr int padding = 20;

    ChooserView(const Router::Request& request, qsizetype remaining, const Preferences& preferences,
                QWidget* parent = nullptr);

    const Router::Request& request() const { return m_request; }
    // The browser (and profile) rows, in the order shown.
    const QList<QAbstractButton*>& browserRows() const { return m_rows; }
    QCheckBox* rememberSwitch() const { return m_remember; }
    // Keyboard first: the first browser row takes the focus, or Cancel when there is no browser.
    void focusFirstRow();

Q_SIGNALS:
    // profile: the directory of the chosen profile; empty for a browser's own row.
    void chosen(const Browsers::Browser& browser, const QString& profile, bool remember);
    void cancelled();

private:
    QLayout* header(const QString& host);
    QLayout* browserList(const Preferences& preferences);
    QLayout* bottomGroup(const QString& host, qsizetype remaining);

    Router::Request m_request;
    QList<QAbstractButton*> m_rows;
    QCheckBox* m_remember = nullptr;
    QAbstractButton* m_cancel = nullptr;
};

// The text on at most maxLines lines of width pixels each. Text that needs more keeps its beginning and its
// end: the first lines are filled from the start and the last one ends with the end of the text after "…".
// A link has no spaces to wrap at, so it is broken between any two characters.
QStringList elidedLines(const QString& text, const QFontMetrics& metrics, int width, int maxLines);
