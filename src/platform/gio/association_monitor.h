#pragma once

#include <QObject>

// Says when the desktop's idea of which application opens which type may have changed: GIO's application
// monitor, which fires once GIO has dropped what it knew of the desktop entries and mimeapps.list files, so
// that a question asked from then on gets the new answer.
class AssociationMonitor final : public QObject {
    Q_OBJECT

public:
    explicit AssociationMonitor(QObject* parent = nullptr);
    ~AssociationMonitor() override;

Q_SIGNALS:
    // On the main thread (GIO's signal comes on the main context, which Qt's event loop runs).
    void changed();

private:
    void* m_monitor = nullptr;
    unsigned long m_connection = 0;
};
