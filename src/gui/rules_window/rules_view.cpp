#include "rules_view.h"

#include "base/elided_text.h"
#include "base/tool_process.h"
#include "browsers/browser_profiles.h"
#include "browsers/browser_windows.h"
#include "browsers/browsers.h"
#include "browsers/default_browser.h"
#include "gui/common/destination_menu_items.h"
#include "gui/common/destination_picker.h"
#include "gui/common/file_dialog.h"
#include "gui/common/message_box.h"
#include "gui/common/small_widgets.h"
#include "gui/common/text_style.h"
#include "interchange/finicky_report.h"
#include "json_editor_dialog.h"
#include "routing/link_parts.h"
#include "routing/rule_evaluation.h"
#include "routing/rule_store.h"
#include "rule_editor_dialog.h"
#include "rule_row_delegate.h"
#include "rules_list_model.h"

#include <QAction>
#include <QDateTime>
#include <QFileInfo>
#include <QFrame>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

// The tool's own bounds on an import (the JavaScript engine's 3 s and 256 MB) apply inside it; these stop a tool
// that hangs regardless, with room for its start on a loaded machine.
constexpr std::chrono::seconds importTimeLimit{20};
constexpr std::chrono::seconds exportTimeLimit{20};

// How old the browser list may be before showing the window scans again.
constexpr qint64 rescanAfterMSecs = 5'000;
// A pasted text can be of any length; the line under the field shows both ends of a long one.
constexpr qsizetype maxShownLinkLength = 200;
// Drawn over the empty list, and its description for screen readers, to which the list's own children are its
// rows only.
constexpr QStringView emptyTitleText = u"No rules yet";
constexpr QStringView emptyExplanationText = u"Every link goes to the fallback below. Add a rule to send some of them "
                                             u"elsewhere — or pick “Ask every time” and build rules as you go.";

QString destinationText(const Destination& destination)
{
    if (destination.isAsk())
        return u"asks every time"_s;
    QString text = u"opens in "_s + Browsers::displayName(destination.desktopID());
    if (destination.profile())
        text += u" ("_s + BrowserProfiles::profileName(*destination.profile(), destination.desktopID()) + u')';
    if (const QString window = BrowserWindows::windowSuffix(destination.window()); !window.isEmpty())
        text += u", "_s + window;
    if (!Browsers::browser(destination.desktopID()))
        text += u", which is not installed"_s;
    return text;
}

QString counted(const QString& single, const QString& format, qsizetype count)
{
    return count == 1 ? single : format.arg(count);
}

// The bottom bar's buttons: large enough to hit, and reached with Tab like any other control.
QToolButton* wideSymbolButton(const QString& iconName, const QString& fallback, const QString& description,
                              QWidget* parent)
{
    QToolButton* button = SmallWidgets::symbolButton(iconName, fallback, description, parent);
    button->setMinimumSize(28, 22);
    button->setFocusPolicy(Qt::StrongFocus);
    return button;
}

} // namespace

RulesView::RulesView(RuleStore& store, DefaultBrowser& defaultBrowser, std::function<void(const QString&)> showFile,
                     QString toolPath, QWidget* parent)
    : QWidget(parent),
      m_store(store),
      m_defaultBrowser(defaultBrowser),
      m_showFile(std::move(showFile)),
      m_toolPath(std::move(toolPath)),
      m_model(new RulesListModel(store, this)),
      m_delegate(new RuleRowDelegate(this))
{
    setMinimumSize(560, 360);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    buildBanner();
    layout->addWidget(m_banner);

    auto* test = new QWidget(this);
    auto* testLayout = new QVBoxLayout(test);
    testLayout->setContentsMargins(10, 8, 10, 4);
    testLayout->setSpacing(4);
    m_testField = new QLineEdit(test);
    m_testField->setPlaceholderText(u"Paste a link to see where it goes"_s);
    m_testField->setAccessibleName(u"Test a link"_s);
    m_testField->setClearButtonEnabled(true);
    m_testResult = new QLabel(test);
    m_testResult->setAccessibleName(u"Where the link goes"_s);
    m_testResult->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_testResult->setWordWrap(true);
    m_testResult->hide();
    testLayout->addWidget(m_testField);
    testLayout->addWidget(m_testResult);
    layout->addWidget(test);

    m_list = new QListView(this);
    m_list->setAccessibleName(u"Rules"_s);
    m_list->setModel(m_model);
    m_list->setItemDelegate(m_delegate);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setDragDropMode(QAbstractItemView::InternalMove);
    m_list->setDefaultDropAction(Qt::MoveAction);
    m_list->setDragDropOverwriteMode(false);
    m_list->setDropIndicatorShown(true);
    m_list->setUniformItemSizes(false);
    m_list->setMouseTracking(true);
    m_list->setContextMenuPolicy(Qt::CustomContextMenu);
    m_list->installEventFilter(this);
    m_list->viewport()->installEventFilter(this);
    layout->addWidget(m_list, 1);

    m_emptyState = new QWidget(m_list->viewport());
    m_emptyState->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* emptyLayout = new QVBoxLayout(m_emptyState);
    emptyLayout->setContentsMargins(40, 40, 40, 40);
    emptyLayout->setSpacing(6);
    emptyLayout->addStretch();
    auto* emptyTitle = new QLabel(emptyTitleText.toString(), m_emptyState);
    QFont headline = emptyTitle->font();
    headline.setBold(true);
    emptyTitle->setFont(headline);
    emptyTitle->setAlignment(Qt::AlignCenter);
    auto* emptyText = new QLabel(emptyExplanationText.toString(), m_emptyState);
    emptyText->setWordWrap(true);
    emptyText->setAlignment(Qt::AlignCenter);
    // Centred in its row, a wrapping label is given its preferred size, not a height for its width.
    emptyText->setFixedWidth(340);
    emptyText->setMinimumHeight(emptyText->heightForWidth(340));
    emptyText->setForegroundRole(QPalette::PlaceholderText);
    emptyLayout->addWidget(emptyTitle, 0, Qt::AlignHCenter);
    emptyLayout->addWidget(emptyText, 0, Qt::AlignHCenter);
    emptyLayout->addStretch();

    layout->addWidget(SmallWidgets::divider(this));
    buildBottomBar();

    auto* newRule = new QAction(u"New Rule…"_s, this);
    newRule->setShortcut(QKeySequence::New);
    newRule->setShortcutContext(Qt::WidgetWithChildrenShortcut);
    connect(newRule, &QAction::triggered, this, &RulesView::addRule);
    addAction(newRule);

    connect(m_list, &QListView::customContextMenuRequested, this, &RulesView::showContextMenu);
    connect(m_list, &QListView::doubleClicked, this, [this](const QModelIndex& index) {
        if (selectedIds().size() <= 1)
            editRule(index.data(RulesListModel::ruleIdRole).toUuid());
    });
    connect(m_list->selectionModel(), &QItemSelectionModel::selectionChanged, this, &RulesView::updateDeleteButton);
    // A reset forgets the selection; it is kept by identifier, so rules that are gone drop out of it.
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this,
            [this] { m_selectionBeforeReset = selectedIds(); });
    connect(m_model, &RulesListModel::rowsRelaidOut, this, [this] {
        select(QSet<QUuid>(m_selectionBeforeReset.begin(), m_selectionBeforeReset.end()));
        m_selectionBeforeReset.clear();
        updateEmptyState();
    });
    connect(&m_store, &RuleStore::rulesChanged, this, &RulesView::updateTest);
    connect(&m_store, &RuleStore::fallbackChanged, this, &RulesView::updateTest);
    connect(&m_store, &RuleStore::rewriterChanged, this, &RulesView::updateTest);
    connect(m_testField, &QLineEdit::textChanged, this, &RulesView::updateTest);

    setDefaultBrowser(m_defaultBrowser.isDefaultBrowser());
    updateEmptyState();
    updateDeleteButton();
}

RulesView::~RulesView()
{
    stopTool();
}

void RulesView::buildBanner()
{
    m_banner = new QWidget(this);
    m_banner->setAccessibleName(u"Linkherd is not your default browser"_s);
    m_banner->setAutoFillBackground(true);
    QPalette palette = m_banner->palette();
    QColor orange(255, 149, 0);
    orange.setAlphaF(0.12f);
    palette.setColor(QPalette::Window, orange);
    m_banner->setPalette(palette);
    auto* outer = new QVBoxLayout(m_banner);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);
    auto* row = new QHBoxLayout;
    row->setContentsMargins(12, 12, 12, 12);
    row->setSpacing(10);
    auto* symbol = new QLabel(m_banner);
    symbol->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(20, 20));
    symbol->setAccessibleName(u"Warning"_s);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    auto* title = new QLabel(u"Linkherd is not your default browser"_s, m_banner);
    QFont medium = title->font();
    medium.setWeight(QFont::Medium);
    title->setFont(medium);
    auto* line = new QLabel(u"Links will keep opening the way they do now, and these rules will not run."_s, m_banner);
    line->setFont(TextStyle::font(line->font(), TextStyle::Size::caption));
    line->setForegroundRole(QPalette::PlaceholderText);
    line->setWordWrap(true);
    texts->addWidget(title);
    texts->addWidget(line);
    m_makeDefaultButton = new QPushButton(u"Make Default"_s, m_banner);
    m_makeDefaultButton->setAccessibleName(u"Make Default"_s);
    connect(m_makeDefaultButton, &QPushButton::clicked, this, [this] {
        m_defaultBrowser.becomeDefaultBrowser([guard = QPointer(this)](bool isDefault) {
            if (RulesView* view = guard.data())
                view->setDefaultBrowser(isDefault);
        });
    });
    row->addWidget(symbol, 0, Qt::AlignTop);
    row->addLayout(texts, 1);
    row->addWidget(m_makeDefaultButton, 0, Qt::AlignVCenter);
    outer->addLayout(row);
    outer->addWidget(SmallWidgets::divider(m_banner));
}

void RulesView::buildBottomBar()
{
    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(10, 10, 10, 10);
    bar->setSpacing(8);
    m_addButton = wideSymbolButton(u"list-add"_s, u"+"_s, u"Add a rule"_s, this);
    connect(m_addButton, &QToolButton::clicked, this, &RulesView::addRule);
    m_deleteButton = wideSymbolButton(u"list-remove"_s, u"−"_s, u"Delete the selected rules"_s, this);
    connect(m_deleteButton, &QToolButton::clicked, this, [this] {
        const QList<QUuid> ids = selectedIds();
        m_list->clearSelection();
        deleteRules(QSet<QUuid>(ids.begin(), ids.end()));
    });
    m_moreButton = wideSymbolButton(u"view-more"_s, u"…"_s, u"Import, export, and hand editing"_s, this);
    m_moreButton->setStyleSheet(u"QToolButton::menu-indicator { image: none; width: 0px; }"_s);
    auto* menu = new QMenu(m_moreButton);
    menu->addAction(u"Edit as JSON…"_s, this, &RulesView::editJson);
    menu->addAction(u"Show rules.json in File Manager"_s, this, [this] {
        if (m_showFile)
            m_showFile(m_store.filePath());
    });
    menu->addSeparator();
    m_interchangeActions = {menu->addAction(u"Import from Finicky…"_s, this, &RulesView::importFromFinicky),
                            menu->addAction(u"Export to Finicky…"_s, this, &RulesView::exportToFinicky)};
    menu->addSeparator();
    menu->addAction(u"Ask for the Next Link"_s, this, &RulesView::askNextRequested);
    menu->addAction(u"Settings…"_s, this, &RulesView::settingsRequested);
    menu->addAction(u"Send Feedback…"_s, this, &RulesView::feedbackRequested);
    SmallWidgets::openMenuOnPress(m_moreButton, menu);

    m_fallbackPicker = new DestinationPicker(u"Everything else:"_s, this);
    m_fallbackPicker->setAccessibleName(u"Everything else"_s);
    m_fallbackPicker->setMaximumWidth(220);
    m_fallbackPicker->setDestination(m_store.fallback());
    connect(m_fallbackPicker, &DestinationPicker::destinationChanged, this,
            [this](const Destination& destination) { m_store.setFallback(destination); });
    connect(&m_store, &RuleStore::fallbackChanged, this,
            [this] { m_fallbackPicker->setDestination(m_store.fallback()); });

    bar->addWidget(m_addButton);
    bar->addWidget(m_deleteButton);
    bar->addWidget(m_moreButton);
    bar->addStretch();
    bar->addWidget(m_fallbackPicker);
    static_cast<QVBoxLayout*>(layout())->addLayout(bar);
}

void RulesView::refresh()
{
    if (const std::optional<qint64> discovered = Browsers::discoveryTimeMSecs();
        discovered && QDateTime::currentMSecsSinceEpoch() - *discovered >= rescanAfterMSecs)
        Browsers::invalidate();
    setDefaultBrowser(m_defaultBrowser.isDefaultBrowser());
    // Rows read the browsers as they are drawn: a browser installed or removed meanwhile shows at once.
    m_list->viewport()->update();
    updateTest();
}

void RulesView::setDefaultBrowser(bool isDefault)
{
    m_banner->setVisible(!isDefault);
}

QList<QUuid> RulesView::selectedIds() const
{
    QList<QUuid> ids;
    for (int row = 0; row < m_model->rowCount(); ++row) {
        const QModelIndex index = m_model->index(row);
        if (m_list->selectionModel()->isSelected(index))
            ids.append(index.data(RulesListModel::ruleIdRole).toUuid());
    }
    return ids;
}

void RulesView::select(const QSet<QUuid>& ids)
{
    QItemSelection selection;
    for (const QUuid& id : ids) {
        if (const std::optional<int> row = m_model->rowOf(id))
            selection.select(m_model->index(*row), m_model->index(*row));
    }
    m_list->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    updateDeleteButton();
}

bool RulesView::raiseOpenDialog()
{
    QDialog* dialog = m_dialog.data();
    if (!dialog)
        return false;
    dialog->raise();
    dialog->activateWindow();
    return true;
}

void RulesView::addRule()
{
    editRule(Rule());
}

void RulesView::editRule(const QUuid& id)
{
    if (const std::optional<int> row = m_model->rowOf(id))
        editRule(m_store.rules().at(*row));
}

void RulesView::editRule(const Rule& rule)
{
    if (raiseOpenDialog())
        return;
    auto* dialog = new RuleEditorDialog(rule, window());
    connect(dialog, &RuleEditorDialog::saved, this, &RulesView::saveRule);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_dialog = dialog;
    dialog->open();
}

void RulesView::editJson()
{
    if (raiseOpenDialog())
        return;
    auto* dialog = new JsonEditorDialog(m_store, window());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    m_dialog = dialog;
    dialog->open();
}

void RulesView::saveRule(const Rule& rule)
{
    if (m_model->rowOf(rule.id))
        m_store.replace(rule);
    else
        m_store.add(rule);
}

void RulesView::deleteRules(const QSet<QUuid>& ids)
{
    if (!ids.isEmpty())
        m_store.deleteRules(ids);
}

void RulesView::duplicateRules(const QSet<QUuid>& ids)
{
    QList<Rule> rules;
    rules.reserve(m_store.rules().size() + ids.size());
    for (const Rule& rule : m_store.rules()) {
        rules.append(rule);
        if (ids.contains(rule.id)) {
            Rule copy = rule;
            copy.id = QUuid::createUuid();
            rules.append(copy);
        }
    }
    m_store.setRules(std::move(rules));
}

void RulesView::sendRules(const QSet<QUuid>& ids, const Destination& destination)
{
    QList<Rule> rules = m_store.rules();
    for (Rule& rule : rules) {
        if (ids.contains(rule.id))
            rule.destination = destination;
    }
    m_store.setRules(std::move(rules));
}

QMenu* RulesView::contextMenuFor(const QList<QUuid>& ids)
{
    auto* menu = new QMenu(this);
    const QSet<QUuid> set(ids.begin(), ids.end());
    const qsizetype count = set.size();
    if (count == 0) {
        menu->addAction(u"New Rule…"_s, this, &RulesView::addRule);
        return menu;
    }
    if (count == 1 && m_model->rowOf(ids.first()))
        menu->addAction(u"Edit…"_s, this, [this, id = ids.first()] { editRule(id); });
    QMenu* sendTo = menu->addMenu(counted(u"Send To"_s, u"Send %1 Rules To"_s, count));
    DestinationMenuItems items;
    items.browsers = Browsers::installed();
    for (const Browsers::Browser& browser : items.browsers) {
        if (BrowserProfiles::supportsProfiles(browser.desktopID))
            items.profiles.insert(browser.desktopID, BrowserProfiles::profiles(browser.desktopID));
    }
    items.pick = [guard = QPointer(this), set](const Destination& destination) {
        if (RulesView* view = guard.data())
            view->sendRules(set, destination);
    };
    items.addTo(*sendTo);
    menu->addAction(counted(u"Duplicate"_s, u"Duplicate %1 Rules"_s, count), this,
                    [this, set] { duplicateRules(set); });
    menu->addSeparator();
    menu->addAction(counted(u"Delete"_s, u"Delete %1 Rules"_s, count), this, [this, set] { deleteRules(set); });
    return menu;
}

void RulesView::showContextMenu(const QPoint& position)
{
    const QModelIndex clicked = m_list->indexAt(position);
    QList<QUuid> ids;
    if (clicked.isValid()) {
        ids = m_list->selectionModel()->isSelected(clicked)
                  ? selectedIds()
                  : QList<QUuid>{clicked.data(RulesListModel::ruleIdRole).toUuid()};
    }
    QMenu* menu = contextMenuFor(ids);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(m_list->viewport()->mapToGlobal(position));
}

void RulesView::updateEmptyState()
{
    m_emptyState->setGeometry(m_list->viewport()->rect());
    const bool empty = m_model->rowCount() == 0;
    m_emptyState->setVisible(empty);
    m_list->setAccessibleDescription(empty ? u"%1. %2"_s.arg(emptyTitleText, emptyExplanationText) : QString());
}

void RulesView::updateDeleteButton()
{
    m_deleteButton->setEnabled(m_list->selectionModel()->hasSelection());
}

void RulesView::updateTest()
{
    const QString text = m_testField->text().trimmed();
    if (text.isEmpty()) {
        m_decidingRule = QUuid();
        m_model->setDecidingRule(m_decidingRule);
        m_testResult->clear();
        m_testResult->hide();
        return;
    }
    m_testResult->show();
    if (!LinkParts::hasScheme(text)) {
        m_decidingRule = QUuid();
        m_model->setDecidingRule(m_decidingRule);
        m_testResult->setText(u"Not a link yet: links start with their scheme, as in https://"_s);
        return;
    }
    // The decision the router takes for a link from any application, after cleaning.
    const QString link = m_store.rewriter().apply(text);
    const Decision decision = decide(m_store.rules(), m_store.fallback(), link, QString());
    QString line = destinationText(decision.destination);
    line[0] = line[0].toUpper();
    if (decision.ruleIndex) {
        const Rule& rule = m_store.rules().at(*decision.ruleIndex);
        m_decidingRule = rule.id;
        line += u": rule %1, “%2”, takes it"_s.arg(*decision.ruleIndex + 1).arg(rule.summary());
        m_list->scrollTo(m_model->index(int(*decision.ruleIndex)));
    } else {
        m_decidingRule = QUuid();
        line += u": no rule takes it, so it falls through to Everything else"_s;
    }
    if (link != text)
        line += u" (after cleaning: "_s + elidedText(link, maxShownLinkLength) + u')';
    m_model->setDecidingRule(m_decidingRule);
    m_testResult->setText(line);
}

bool RulesView::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_list->viewport() && event->type() == QEvent::Resize) {
        m_emptyState->setGeometry(m_list->viewport()->rect());
    } else if (watched == m_list && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->matches(QKeySequence::Delete) || key->key() == Qt::Key_Delete) {
            const QList<QUuid> ids = selectedIds();
            m_list->clearSelection();
            deleteRules(QSet<QUuid>(ids.begin(), ids.end()));
            return true;
        }
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) && key->modifiers() == Qt::NoModifier) {
            if (const QList<QUuid> ids = selectedIds(); ids.size() == 1)
                editRule(ids.first());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void RulesView::hideEvent(QHideEvent* event)
{
    // A closed window is a cancelled import or export.
    if (!event->spontaneous())
        stopTool();
    QWidget::hideEvent(event);
}

void RulesView::runTool(const QStringList& arguments, std::chrono::milliseconds timeLimit,
                        std::function<void(const Result<QByteArray>&)> done)
{
    auto* tool = new ToolProcess(m_toolPath, arguments, {.time = timeLimit}, this);
    m_interchange = tool;
    for (QAction* action : std::as_const(m_interchangeActions))
        action->setEnabled(false);
    setCursor(Qt::BusyCursor);
    tool->start({}, [this, tool, done = std::move(done)](const ToolProcess::Outcome& ended) {
        stopTool();
        if (!ended) {
            done(Failure{ended.error()});
        } else if (ended->status != 0) {
            const QString complaint = ended->complaint();
            done(Failure{complaint.isEmpty() ? u"linkherd ended with status %1."_s.arg(ended->status) : complaint});
        } else {
            done(ended->out);
        }
    });
}

void RulesView::stopTool()
{
    ToolProcess* tool = std::exchange(m_interchange, nullptr);
    if (!tool)
        return;
    tool->cancel();
    tool->deleteLater();
    for (QAction* action : std::as_const(m_interchangeActions))
        action->setEnabled(true);
    unsetCursor();
}

void RulesView::importFromFinicky()
{
    if (m_interchange)
        return;
    FileDialog::Request request;
    request.mode = FileDialog::Request::Mode::open;
    request.message = u"Choose a Finicky configuration file."_s;
    request.acceptLabel = u"Import"_s;
    request.nameFilters = {u"JavaScript (*.js *.mjs *.cjs *.ts)"_s, u"Text (*.txt)"_s, u"All files (*)"_s};
    request.showsHiddenFiles = true;
    if (const std::optional<QString> existing = FinickyConfig::locateExisting()) {
        const QFileInfo file(*existing);
        request.directory = file.absolutePath();
        request.fileName = file.fileName();
    }
    FileDialog::open(
        request,
        [guard = QPointer(this)](const std::optional<QString>& path) {
            if (RulesView* view = guard.data(); view && path)
                view->importFile(*path);
        },
        window());
}

void RulesView::importFile(const QString& path)
{
    // Without --add or --replace the tool only reports what the file gives; the rules change here, once the
    // user has said how.
    runTool({u"finicky"_s, u"import"_s, path}, importTimeLimit, [this, path](const Result<QByteArray>& output) {
        Result<FinickyConfig::Imported> imported =
            output ? FinickyConfig::readReport(*output) : Result<FinickyConfig::Imported>(Failure{output.error()});
        if (output && !imported)
            imported = Failure{u"The linkherd tool's report could not be read: "_s + imported.error()};
        if (!imported) {
            MessageBox::open(
                {MessageBox::Style::warning, u"Could not read that Finicky config"_s, imported.error(), {}}, [](int) {},
                window());
            return;
        }
        confirmImport(path, *imported);
    });
}

void RulesView::confirmImport(const QString& path, const FinickyConfig::Imported& imported)
{
    const qsizetype count = imported.rules.size();
    QStringList paragraphs{u"From "_s + QFileInfo(path).fileName() + u'.'};
    if (imported.fallback && imported.fallback->isBrowser())
        paragraphs.append(u"Finicky's default browser is "_s + Browsers::displayName(imported.fallback->desktopID()) +
                          u"; replacing your rules will use it as the fallback too."_s);
    paragraphs.append(imported.notes);
    const MessageBox::Message message{imported.notes.isEmpty() ? MessageBox::Style::information
                                                               : MessageBox::Style::warning,
                                      u"Import %1 rule%2?"_s.arg(count).arg(count == 1 ? QString() : u"s"_s),
                                      paragraphs.join(u"\n\n"_s),
                                      {u"Add to My Rules"_s, u"Replace My Rules"_s, u"Cancel"_s}};
    MessageBox::open(
        message,
        [guard = QPointer(this), imported](int button) {
            RulesView* view = guard.data();
            if (!view)
                return;
            if (button == 0) {
                QList<Rule> rules = view->m_store.rules();
                rules.append(imported.rules);
                view->m_store.setRules(std::move(rules));
            } else if (button == 1) {
                view->m_store.setRules(imported.rules);
                if (imported.fallback)
                    view->m_store.setFallback(*imported.fallback);
            }
        },
        window());
}

void RulesView::exportToFinicky()
{
    if (m_interchange)
        return;
    FileDialog::Request request;
    request.mode = FileDialog::Request::Mode::save;
    request.message = u"Anything Finicky cannot express is written into the file as a comment."_s;
    request.fileName = u"finicky.js"_s;
    request.nameFilters = {u"JavaScript (*.js)"_s};
    FileDialog::open(
        request,
        [guard = QPointer(this)](const std::optional<QString>& path) {
            if (RulesView* view = guard.data(); view && path && !path->isEmpty())
                view->exportFile(*path);
        },
        window());
}

void RulesView::exportFile(const QString& path)
{
    // The tool reads the rules from the file this window's store keeps, and replaces the chosen file in one step.
    runTool({u"--rules"_s, m_store.filePath(), u"finicky"_s, u"export"_s, u"--output"_s, path}, exportTimeLimit,
            [this](const Result<QByteArray>& output) {
                if (!output) {
                    MessageBox::open(
                        {MessageBox::Style::warning, u"Could not write that file"_s, output.error(), {}}, [](int) {},
                        window());
                }
            });
}
