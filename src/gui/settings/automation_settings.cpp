#include "automation_settings.h"

#include "form_parts.h"

#include <QClipboard>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QScrollBar>
#include <QStandardPaths>
#include <QTextDocument>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

QFont smallMonospaced()
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(font.pointSizeF() * 0.9);
    return font;
}

QPushButton* namedButton(const QString& text, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setAccessibleName(text);
    return button;
}

} // namespace

QString AutomationSettings::installCommand(const QString& toolPath)
{
    return u"sudo ln -sf \"%1\" /usr/local/bin/linkherd"_s.arg(toolPath);
}

QString AutomationSettings::mcpConfiguration(const QString& toolPath)
{
    return u"{\n"
           "  \"mcpServers\": {\n"
           "    \"linkherd\": {\n"
           "      \"command\": \"%1\",\n"
           "      \"args\": [\"mcp\"]\n"
           "    }\n"
           "  }\n"
           "}"_s.arg(toolPath);
}

QString AutomationSettings::busExample()
{
    // Without "--", gdbus takes the position -1 (the end) for an option of its own.
    return u"gdbus call --session --dest org.linkherd.Linkherd --object-path /org/linkherd/Linkherd \\\n"
           "    --method org.linkherd.Linkherd.Scripting.Resolve 'https://github.com/qt/qtbase' ''\n"
           "gdbus call --session --dest org.linkherd.Linkherd --object-path /org/linkherd/Linkherd \\\n"
           "    --method org.linkherd.Linkherd.Scripting.AddRule -- \\\n"
           "    \"{'pattern': <'github.com'>, 'browser': <'google-chrome'>}\" -1"_s;
}

AutomationSettings::AutomationSettings(const QString& toolPath, QWidget* parent) : QWidget(parent)
{
    auto* tab = new QVBoxLayout(this);

    if (!toolPath.isEmpty()) {
        QVBoxLayout* commandLine = FormParts::section(u"Command line"_s, tab);
        auto* path = new QLineEdit(toolPath, this);
        path->setReadOnly(true);
        path->setFrame(false);
        path->setFont(smallMonospaced());
        path->setAccessibleName(u"Tool"_s);
        path->setToolTip(toolPath);
        path->setCursorPosition(0);
        auto* toolRow = new QFormLayout;
        toolRow->addRow(u"Tool"_s, path);
        commandLine->addLayout(toolRow);
        auto* buttons = new QHBoxLayout;
        QPushButton* copyPath = namedButton(u"Copy Path"_s, this);
        connect(copyPath, &QPushButton::clicked, this, [this, toolPath] { copy(toolPath, u"path"_s); });
        QPushButton* copyInstall = namedButton(u"Copy Install Command"_s, this);
        connect(copyInstall, &QPushButton::clicked, this,
                [this, toolPath] { copy(installCommand(toolPath), u"install command"_s); });
        buttons->addWidget(copyPath);
        buttons->addWidget(copyInstall);
        buttons->addStretch(1);
        commandLine->addLayout(buttons);
        // The command names are set as code; a screen reader reads them without the marks.
        QLabel* installCaption = FormParts::caption(
            u"The install command symlinks it into /usr/local/bin as linkherd. Run linkherd help for the rest."_s, this);
        installCaption->setTextFormat(Qt::MarkdownText);
        installCaption->setText(
            u"The install command symlinks it into /usr/local/bin as `linkherd`. Run `linkherd help` for the rest."_s);
        commandLine->addWidget(installCaption);

        QVBoxLayout* mcp = FormParts::section(u"MCP server"_s, tab);
        QPushButton* copyConfiguration = namedButton(u"Copy MCP Configuration"_s, this);
        connect(copyConfiguration, &QPushButton::clicked, this,
                [this, toolPath] { copy(mcpConfiguration(toolPath), u"configuration"_s); });
        mcp->addWidget(copyConfiguration, 0, Qt::AlignLeft);
        mcp->addWidget(FormParts::caption(u"Paste into an MCP client's config to let an assistant read and edit your "
                                          "rules — including asking where a link would go before changing anything."_s,
                                          this));
    }

    QVBoxLayout* bus = FormParts::section(u"D-Bus"_s, tab);
    QPushButton* browse = namedButton(u"Open Interface Browser…"_s, this);
    connect(browse, &QPushButton::clicked, this, &AutomationSettings::openInterfaceBrowser);
    bus->addWidget(browse, 0, Qt::AlignLeft);
    auto* example = new QPlainTextEdit(busExample(), this);
    example->setReadOnly(true);
    example->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    example->setLineWrapMode(QPlainTextEdit::NoWrap);
    example->setFont(smallMonospaced());
    example->setForegroundRole(QPalette::PlaceholderText);
    example->setAccessibleName(u"D-Bus example"_s);
    example->setTabChangesFocus(true);
    // All five lines show; a long line scrolls sideways.
    example->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    example->setFixedHeight(QFontMetrics(example->font()).lineSpacing() * 5 +
                            2 * (example->frameWidth() + int(example->document()->documentMargin())) +
                            example->horizontalScrollBar()->sizeHint().height() + 4);
    bus->addWidget(example);

    m_copied = new QLabel(this);
    m_copied->setStyleSheet(u"color: #2e9d3f"_s);
    m_copied->hide();
    tab->addWidget(m_copied);
    tab->addStretch(1);
}

QPushButton* AutomationSettings::button(const QString& text) const
{
    for (QPushButton* button : findChildren<QPushButton*>()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

void AutomationSettings::copy(const QString& text, const QString& name)
{
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
    const QString confirmation = u"Copied the %1."_s.arg(name);
    m_copied->setText(u"✔ "_s + confirmation);
    m_copied->setAccessibleName(confirmation);
    m_copied->show();
}

void AutomationSettings::openInterfaceBrowser()
{
    // The desktop's D-Bus browsers, newest first; without either, there is nothing to open.
    for (const QString& program : {u"d-spy"_s, u"d-feet"_s}) {
        if (const QString path = QStandardPaths::findExecutable(program); !path.isEmpty()) {
            QProcess::startDetached(path, {});
            return;
        }
    }
}
