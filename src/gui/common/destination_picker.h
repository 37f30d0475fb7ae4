#pragma once

#include "routing/destination.h"

#include <QString>
#include <QWidget>

class QLabel;
class QMenu;
class QShowEvent;
class DestinationButton;

// A label and a pop-up button for choosing where links go: "Ask every time" or an installed browser,
// optionally in one of its profiles. The button shows the current destination even when its browser or
// profile is gone, so a stale rule still reads sensibly and can be changed; it is never replaced behind
// the user's back.
class DestinationPicker final : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString label READ label WRITE setLabel)
    Q_PROPERTY(Destination destination READ destination WRITE setDestination NOTIFY destinationChanged USER true)

public:
    explicit DestinationPicker(const QString& label = QString(), QWidget* parent = nullptr);

    QString label() const;
    // An empty label leaves the button alone in the row.
    void setLabel(const QString& label);

    const Destination& destination() const { return m_destination; }
    // Does not emit destinationChanged: that is for the user's choices, so a window showing a rule does not
    // write it straight back.
    void setDestination(const Destination& destination);

    // The pop-up menu; filled here when the picker has not been shown yet.
    QMenu* menu();

Q_SIGNALS:
    // The user picked a destination different from the current one.
    void destinationChanged(const Destination& destination);

protected:
    void showEvent(QShowEvent* event) override;

private:
    // The browsers and their profiles are read once per showing: a browser installed while the picker is on
    // screen appears the next time it is shown, and the menu does not change under the user's pointer.
    void fill();
    void pick(const Destination& destination);
    void updateTitle();

    QLabel* m_label;
    DestinationButton* m_button;
    QMenu* m_menu;
    Destination m_destination = Destination::ask();
    bool m_filled = false;
};
