#include "default_browser.h"

#include "app_info.h"
#include "base/app_folders.h"
#include "base/atomic_file.h"
#include "base/bounded_file.h"
#include "base/logging.h"
#include "browsers.h"
#include "platform/application_catalog.h"
#include "platform/autostart_entry.h"
#include "platform/default_handlers.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>

using namespace Qt::StringLiterals;

namespace {

constexpr auto handBackFileName = u"handed-back";
// A path and a newline; a file any larger is not Linkherd's.
constexpr qint64 handBackFileLimit = 64 * 1024;

void recordHandBack(const QString& applicationPath)
{
    const Result<QString> folder = AppFolders::ensureConfig();
    const Result<void> written =
        folder ? writeFileAtomically(AppFolders::configFile(handBackFileName), applicationPath.toUtf8() + '\n')
               : Result<void>(Failure{folder.error()});
    // The hand-back itself goes ahead; a running Linkherd may then object to it once.
    if (!written)
        qCWarning(lcDefault, "Could not record the hand-back to %s: %s", qUtf8Printable(applicationPath),
                  qUtf8Printable(written.error()));
}

} // namespace

const QStringList& DefaultBrowser::webSchemes()
{
    static const QStringList schemes = {u"http"_s, u"https"_s};
    return schemes;
}

DefaultBrowser::DefaultBrowser(ApplicationCatalog& catalog, DefaultHandlers& handlers, AutostartEntry& autostart)
    : m_catalog(catalog),
      m_handlers(handlers),
      m_autostart(autostart)
{}

bool DefaultBrowser::isDefaultBrowser() const
{
    const std::optional<DesktopEntry> entry = m_catalog.defaultWebBrowser();
    return entry && Browsers::isOwnDesktopID(entry->id);
}

void DefaultBrowser::makeDefault(const QString& applicationPath, Completion completion)
{
    // Recorded before the first scheme changes: a watcher may look as soon as the files change.
    if (Browsers::isOwnDesktopID(QFileInfo(applicationPath).completeBaseName()))
        forgetHandBack();
    else
        recordHandBack(applicationPath);
    makeDefaultFrom(0, applicationPath, std::move(completion));
}

void DefaultBrowser::makeDefaultFrom(qsizetype schemeIndex, const QString& applicationPath, Completion completion)
{
    const Result<void> set = m_handlers.setDefaultForScheme(applicationPath, webSchemes()[schemeIndex]);
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [this, set, schemeIndex, applicationPath, completion = std::move(completion)]() mutable {
            if (!set)
                completion(set.error());
            else if (schemeIndex + 1 < webSchemes().size())
                makeDefaultFrom(schemeIndex + 1, applicationPath, std::move(completion));
            else
                completion(std::nullopt);
        },
        Qt::QueuedConnection);
}

void DefaultBrowser::makeLinkherdDefault(Completion completion)
{
    const std::optional<DesktopEntry> own = m_catalog.application(QString::fromLatin1(AppInfo::ownDesktopID));
    if (!own) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [completion = std::move(completion)] {
                completion(u"Linkherd's desktop entry (%1.desktop) is not installed."_s.arg(
                    QString::fromLatin1(AppInfo::ownDesktopID)));
            },
            Qt::QueuedConnection);
        return;
    }
    makeDefault(own->filePath, std::move(completion));
}

void DefaultBrowser::becomeDefaultBrowser(std::function<void(bool isDefault)> report)
{
    makeLinkherdDefault([this, report = std::move(report)](std::optional<QString> error) {
        if (error) {
            qCCritical(lcDefault, "Could not become the default browser: %s", qUtf8Printable(*error));
            report(false);
            return;
        }
        // What the system says now, not what was asked for.
        report(isDefaultBrowser());
    });
}

Result<void> DefaultBrowser::setLaunchesAtLogin(bool launches)
{
    const AutostartEntry::Status status = m_autostart.status();
    const bool registered =
        status == AutostartEntry::Status::enabled || status == AutostartEntry::Status::requiresApproval;
    if (launches)
        return registered ? Result<void>() : m_autostart.enable();
    if (!registered)
        return {};
    const Result<void> removed = m_autostart.disable();
    if (!removed)
        qCCritical(lcAutostart, "Could not remove the autostart entry: %s", qUtf8Printable(removed.error()));
    return removed;
}

std::optional<QString> DefaultBrowser::handedBackTo()
{
    const QString path = AppFolders::configFile(handBackFileName);
    if (!QFileInfo::exists(path))
        return std::nullopt;
    // A record that cannot be read still says the user handed the links on.
    const Result<QByteArray> bytes = BoundedFile::read(path, handBackFileLimit);
    return bytes ? QString::fromUtf8(bytes.value()).trimmed() : QString();
}

void DefaultBrowser::forgetHandBack()
{
    QFile::remove(AppFolders::configFile(handBackFileName));
}
