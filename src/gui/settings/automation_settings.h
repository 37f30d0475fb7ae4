#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QPushButton;

// The "Automation" tab: the command-line tool (its path, a symlink command and an MCP client configuration,
// present only when the tool is installed next to Linkherd) and the D-Bus interface for scripts.
class AutomationSettings final : public QWidget {
    Q_OBJECT

public:
    // toolPath: the installed linkherd tool, empty when there is none.
    explicit AutomationSettings(const QString& toolPath, QWidget* parent = nullptr);

    // The path goes in as it is, quoted, unescaped.
    static QString installCommand(const QString& toolPath);
    // An MCP client's configuration that starts the tool as a server: eight lines, no final line feed.
    static QString mcpConfiguration(const QString& toolPath);
    // A shell example: resolve a link, then add a rule for a domain, through the scripting interface.
    static QString busExample();

    // For tests: what the user sees.
    QLabel* copiedLabel() const { return m_copied; }
    QPushButton* button(const QString& text) const;

private:
    void copy(const QString& text, const QString& name);
    static void openInterfaceBrowser();

    QLabel* m_copied = nullptr;
};
