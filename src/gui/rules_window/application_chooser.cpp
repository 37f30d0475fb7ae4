#include "application_chooser.h"

#include "browsers/browsers.h"
#include "gui/common/browser_icons.h"

#include <QDialogButtonBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace {

constexpr int desktopIDRole = Qt::UserRole;
constexpr int iconSize = 24;

} // namespace

ApplicationChooser::ApplicationChooser(QWidget* parent) : QDialog(parent)
{
    setWindowModality(Qt::WindowModal);
    setWindowTitle(tr("Choose Applications"));
    resize(420, 480);

    m_search = new QLineEdit(this);
    m_search->setPlaceholderText(tr("Search"));
    m_search->setAccessibleName(tr("Search applications"));
    m_search->setClearButtonEnabled(true);

    m_list = new QListWidget(this);
    m_list->setAccessibleName(tr("Applications"));
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setIconSize(QSize(iconSize, iconSize));
    m_list->setUniformItemSizes(true);
    for (const Browsers::Browser& application : Browsers::applications()) {
        // The icon is loaded when the row is first drawn, not for the whole list up front.
        auto* item = new QListWidgetItem(BrowserIcons::icon(application.desktopID), application.name, m_list);
        item->setData(desktopIDRole, application.desktopID);
        item->setToolTip(application.desktopID);
    }

    auto* buttons = new QDialogButtonBox(this);
    QPushButton* cancel = buttons->addButton(QDialogButtonBox::Cancel);
    cancel->setAccessibleName(cancel->text().remove(u'&'));
    m_choose = buttons->addButton(tr("Choose"), QDialogButtonBox::AcceptRole);
    m_choose->setAccessibleName(tr("Choose"));
    m_choose->setDefault(true);
    m_choose->setEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_search);
    layout->addWidget(m_list, 1);
    layout->addWidget(buttons);

    connect(m_search, &QLineEdit::textChanged, this, &ApplicationChooser::filter);
    connect(m_list, &QListWidget::itemSelectionChanged, this,
            [this] { m_choose->setEnabled(!m_list->selectedItems().isEmpty()); });
    connect(m_list, &QListWidget::itemActivated, this, &ApplicationChooser::choose);
    connect(buttons, &QDialogButtonBox::accepted, this, &ApplicationChooser::choose);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    m_search->setFocus();
}

void ApplicationChooser::filter(const QString& text)
{
    const QString needle = text.trimmed();
    for (int row = 0; row < m_list->count(); ++row) {
        QListWidgetItem* item = m_list->item(row);
        const bool shown = needle.isEmpty() || item->text().contains(needle, Qt::CaseInsensitive) ||
                           item->data(desktopIDRole).toString().contains(needle, Qt::CaseInsensitive);
        item->setHidden(!shown);
        // What the search hides is no longer chosen: Choose takes only what the user can see.
        if (!shown)
            item->setSelected(false);
    }
}

void ApplicationChooser::choose()
{
    QStringList desktopIDs;
    for (int row = 0; row < m_list->count(); ++row) {
        if (m_list->item(row)->isSelected())
            desktopIDs.append(m_list->item(row)->data(desktopIDRole).toString());
    }
    if (desktopIDs.isEmpty())
        return;
    Q_EMIT chosen(desktopIDs);
    accept();
}
