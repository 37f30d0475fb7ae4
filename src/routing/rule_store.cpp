#include "rule_store.h"

#include "base/directory_watcher.h"
#include "base/logging.h"
#include "rule_evaluation.h"
#include "rules_codec.h"
#include "rules_file.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>

using namespace Qt::StringLiterals;

RuleStore::RuleStore(QString filePath, QObject* parent) : QObject(parent), m_filePath(std::move(filePath))
{
    m_retryTimer.setSingleShot(true);
    m_retryTimer.setInterval(100);
    connect(&m_retryTimer, &QTimer::timeout, this, [this] { (void)writeChanges(lockWait); });

    for (const QString& leftover : RulesFile::removeInterruptedSaves(m_filePath))
        qCInfo(lcRules, "Removed %s, left by an interrupted save", qUtf8Printable(leftover));

    Result<std::optional<RulesFile::Contents>, RulesFile::Unreadable> read = RulesFile::read(m_filePath);
    if (read && *read) {
        RulesFile::Contents& contents = *read.value();
        m_rules = std::move(contents.document.rules);
        m_preparedRules = PreparedRules(m_rules);
        m_fallback = std::move(contents.document.fallback);
        m_rewriter = contents.document.rewriter.value_or(LinkRewriter::initial());
        m_lastWrittenData = std::move(contents.bytes);
        return;
    }
    m_isFirstRun = true;
    if (read)
        return;
    // Starting afresh would overwrite the user's file at the first save; keep it first.
    const RulesFile::Unreadable& unreadable = read.error();
    const UnreadableContent content{unreadable.bytes.isNull() ? std::nullopt : std::optional(unreadable.bytes),
                                    unreadable.error};
    m_unreadableSeen = content;
    UnreadableRules problem{UnreadableRules::Occasion::start, m_filePath, unreadable.error, {}, {}};
    const Result<QString> copy = RulesFile::keepUnreadableCopy(m_filePath, unreadable.bytes);
    if (copy) {
        problem.keptAs = copy.value();
        m_keptAside = unreadable.bytes;
        qCWarning(lcRules,
                  "The rules file %s could not be read (%s); starting without rules. "
                  "The file was kept as %s",
                  qUtf8Printable(m_filePath), qUtf8Printable(unreadable.error), qUtf8Printable(problem.keptAs));
    } else {
        problem.copyError = copy.error();
        m_refusedToReplace = content;
        qCCritical(lcRules,
                   "The rules file %s could not be read (%s), nor copied aside (%s); starting without rules "
                   "and leaving the file as it is",
                   qUtf8Printable(m_filePath), qUtf8Printable(unreadable.error), qUtf8Printable(copy.error()));
    }
    m_unreadableAtStart = std::move(problem);
}

RuleStore::~RuleStore()
{
    // At exit a held lock is waited for longer: what is not written now is lost.
    m_isClosing = true;
    if (!m_unwrittenChanges.isEmpty())
        (void)writeChanges(std::chrono::seconds(2));
}

Result<QString> RuleStore::rulesDirectory()
{
    return RulesFile::ensureDefaultDirectory();
}

void RuleStore::assign(std::optional<QList<Rule>> rules, std::optional<Destination> fallback,
                       std::optional<LinkRewriter> rewriter)
{
    const bool rulesChanging = rules && *rules != m_rules;
    const bool fallbackChanging = fallback && *fallback != m_fallback;
    const bool rewriterChanging = rewriter && *rewriter != m_rewriter;
    if (rulesChanging) {
        m_rules = std::move(*rules);
        m_preparedRules = PreparedRules(m_rules);
    }
    if (fallbackChanging)
        m_fallback = std::move(*fallback);
    if (rewriterChanging)
        m_rewriter = std::move(*rewriter);
    if (rulesChanging)
        Q_EMIT rulesChanged();
    if (fallbackChanging)
        Q_EMIT fallbackChanged();
    if (rewriterChanging)
        Q_EMIT rewriterChanged();
    if (rulesChanging || fallbackChanging)
        Q_EMIT rulesOrFallbackChanged();
}

void RuleStore::assignDocument(const Document& document)
{
    assign(document.rules, document.fallback, document.rewriter.value_or(LinkRewriter::initial()));
}

Result<void> RuleStore::edit(const RulesFile::Change& change)
{
    Document changed = currentDocument();
    if (Result<void> applied = change(changed); !applied)
        return applied;
    // Observers that react to a change taken over from the file do not write it back.
    if (m_isApplyingExternalChange) {
        assignDocument(changed);
        return {};
    }
    const NewChange made{change, changed};
    return writeChanges(lockWait, &made);
}

void RuleStore::setRules(QList<Rule> rules)
{
    (void)edit([rules = std::move(rules)](Document& document) -> Result<void> {
        document.rules = rules;
        return {};
    });
}

void RuleStore::setFallback(Destination fallback)
{
    (void)edit([fallback = std::move(fallback)](Document& document) -> Result<void> {
        document.fallback = fallback;
        return {};
    });
}

void RuleStore::setStartingFallback(Destination fallback)
{
    const Result<void> written = edit([fallback](Document& document) -> Result<void> {
        document.fallback = fallback;
        return {};
    });
    if (!written)
        assign(std::nullopt, std::move(fallback), std::nullopt);
}

void RuleStore::setRewriter(LinkRewriter rewriter)
{
    (void)edit([rewriter = std::move(rewriter)](Document& document) -> Result<void> {
        document.rewriter = rewriter == LinkRewriter::initial() ? std::nullopt : std::optional(rewriter);
        return {};
    });
}

void RuleStore::add(Rule rule)
{
    (void)edit([rule = std::move(rule)](Document& document) -> Result<void> {
        document.rules.append(rule);
        return {};
    });
}

void RuleStore::replace(const Rule& rule)
{
    (void)edit([rule](Document& document) -> Result<void> {
        const auto found = std::find_if(document.rules.begin(), document.rules.end(),
                                        [&](const Rule& existing) { return existing.id == rule.id; });
        if (found == document.rules.end())
            return Failure{u"no rule with id "_s + rule.id.toString(QUuid::WithoutBraces)};
        *found = rule;
        return {};
    });
}

void RuleStore::deleteRules(const QSet<QUuid>& ids)
{
    (void)edit([ids](Document& document) -> Result<void> {
        document.rules.removeIf([&](const Rule& rule) { return ids.contains(rule.id); });
        return {};
    });
}

void RuleStore::move(const QList<qsizetype>& fromOffsets, qsizetype toOffset)
{
    // By id, not by offset: the file may hold rules the store has not taken over yet.
    QSet<QUuid> moving;
    for (const qsizetype offset : fromOffsets) {
        if (offset >= 0 && offset < m_rules.size())
            moving.insert(m_rules[offset].id);
    }
    std::optional<QUuid> before;
    for (qsizetype index = std::max<qsizetype>(toOffset, 0); index < m_rules.size() && !before; ++index) {
        if (!moving.contains(m_rules[index].id))
            before = m_rules[index].id;
    }
    (void)edit([moving, before](Document& document) -> Result<void> {
        QList<Rule> moved;
        QList<Rule> rest;
        for (const Rule& rule : std::as_const(document.rules))
            (moving.contains(rule.id) ? moved : rest).append(rule);
        const auto target =
            std::find_if(rest.cbegin(), rest.cend(), [&](const Rule& rule) { return rule.id == before; });
        const qsizetype insertAt = target - rest.cbegin();
        for (qsizetype index = 0; index < moved.size(); ++index)
            rest.insert(insertAt + index, moved[index]);
        document.rules = std::move(rest);
        return {};
    });
}

Destination RuleStore::destination(const QString& link, const QString& sourceDesktopID) const
{
    const std::optional<qsizetype> index = m_preparedRules.firstMatch(link, sourceDesktopID);
    return index ? m_rules[*index].destination : m_fallback;
}

RuleStore::Document RuleStore::currentDocument() const
{
    return Document::make(m_rules, m_fallback, m_rewriter);
}

bool RuleStore::mayReplace(const RulesFile::Unreadable& unreadable)
{
    if (!unreadable.bytes.isNull() && unreadable.bytes == m_keptAside)
        return true;
    const QString& error = unreadable.error;
    UnreadableRules problem{UnreadableRules::Occasion::save, m_filePath, error, {}, {}};
    const Result<QString> copy = RulesFile::keepUnreadableCopy(m_filePath, unreadable.bytes);
    if (copy) {
        m_keptAside = unreadable.bytes;
        problem.keptAs = copy.value();
        qCWarning(lcRules, "The rules file %s could not be read (%s); it was kept as %s before saving",
                  qUtf8Printable(m_filePath), qUtf8Printable(error), qUtf8Printable(problem.keptAs));
        Q_EMIT unreadableFileFound(problem);
        return true;
    }
    qCCritical(lcRules, "Not saving rules: %s could not be read (%s), nor copied aside (%s)",
               qUtf8Printable(m_filePath), qUtf8Printable(error), qUtf8Printable(copy.error()));
    const UnreadableContent content{unreadable.bytes.isNull() ? std::nullopt : std::optional(unreadable.bytes), error};
    if (m_refusedToReplace != content) {
        m_refusedToReplace = content;
        problem.copyError = copy.error();
        Q_EMIT unreadableFileFound(problem);
    }
    return false;
}

Result<void> RuleStore::writeChanges(std::chrono::milliseconds wait, const NewChange* made)
{
    m_retryTimer.stop();
    if (m_unwrittenChanges.isEmpty() && !made)
        return {};
    std::optional<Result<FileLock, FileLock::Error>> lock = RulesFile::lock(m_filePath, wait);
    if (!*lock) {
        if (!lock->error().busy) {
            qCCritical(lcRules, "Could not save rules: %s", qUtf8Printable(lock->error().text));
            return Failure{lock->error().text};
        }
        if (made) {
            // In force at once and written later: what could never be written is refused now.
            if (const Result<QByteArray> encoded = RulesFile::encode(made->inForce); !encoded)
                return Failure{u"%1: %2; nothing was written"_s.arg(m_filePath, encoded.error())};
            m_unwrittenChanges.append(made->change);
            assignDocument(made->inForce);
        }
        if (!m_isWaitingForLock)
            qCInfo(lcRules, "The rules file is locked by another program; saving the rules once it is free");
        m_isWaitingForLock = true;
        m_retryTimer.start();
        return {};
    }
    m_isWaitingForLock = false;

    for (const QString& leftover :
         RulesFile::removeInterruptedSaves(m_filePath, RulesFile::interruptedSaveAgeUnderLock))
        qCInfo(lcRules, "Removed %s, left by an interrupted save", qUtf8Printable(leftover));
    // The rules in force hold every waiting change already; an outside edit gets them applied to it.
    Result<std::optional<RulesFile::Contents>, RulesFile::Unreadable> read = RulesFile::read(m_filePath);
    Document document;
    bool takesOver = false;
    if (!read) {
        if (!mayReplace(read.error()))
            return Failure{u"%1 could not be read, nor kept aside; nothing was written"_s.arg(m_filePath)};
        document = made ? made->inForce : currentDocument();
    } else if (*read && read.value()->bytes != m_lastWrittenData) {
        document = std::move(read.value()->document);
        takesOver = true;
        for (const RulesFile::Change& change : std::as_const(m_unwrittenChanges)) {
            if (const Result<void> applied = change(document); !applied)
                qCWarning(lcRules, "A change no longer applies to the rules file as edited outside Linkherd: %s",
                          qUtf8Printable(applied.error()));
        }
        if (made) {
            // Refused by the newer rules (its rule removed there, say): the waiting changes wait on.
            if (Result<void> applied = made->change(document); !applied) {
                if (!m_unwrittenChanges.isEmpty())
                    m_retryTimer.start();
                return applied;
            }
        }
    } else {
        document = made ? made->inForce : currentDocument();
    }

    Result<QByteArray> written = RulesFile::write(m_filePath, document);
    if (!written) {
        const QString error = m_filePath + u": "_s + written.error();
        qCCritical(lcRules, "Could not save rules: %s", qUtf8Printable(error));
        return Failure{error};
    }
    m_unwrittenChanges.clear();
    m_lastWrittenData = std::move(written).value();
    m_unreadableSeen.reset();
    lock.reset(); // before anyone hears of it: what they do may be another edit
    // Whoever would hear of it may be gone already while the store closes.
    if (takesOver && !m_isClosing) {
        m_isApplyingExternalChange = true;
        assignDocument(document);
        m_isApplyingExternalChange = false;
        if (onExternalChange)
            onExternalChange();
    } else if (made) {
        assignDocument(made->inForce);
    }
    return {};
}

void RuleStore::save()
{
    if (m_isApplyingExternalChange)
        return;
    if (m_unwrittenChanges.isEmpty())
        m_unwrittenChanges.append([](Document&) -> Result<void> { return {}; });
    (void)writeChanges(lockWait);
}

void RuleStore::startWatching()
{
    if (!m_watchers.isEmpty())
        return;
    // A rules file kept elsewhere (dotfiles) and linked into place is edited where it lives: the folder of
    // every link on the way to it is watched, and the folder of the file itself.
    QFileInfo entry(m_filePath);
    QHash<QString, QStringList> namesByFolder;
    for (int depth = 0; depth < 64; ++depth) {
        namesByFolder[entry.absolutePath()].append(entry.fileName());
        if (!entry.isSymLink())
            break;
        entry.setFile(entry.symLinkTarget());
    }
    for (auto folder = namesByFolder.cbegin(); folder != namesByFolder.cend(); ++folder)
        watchFolder(folder.key(), folder.value());
}

void RuleStore::watchFolder(const QString& directory, const QStringList& fileNames)
{
    auto* watcher = new DirectoryWatcher(this);
    const Result<void> watching = watcher->watch(directory);
    if (!watching) {
        qCCritical(lcRules, "Could not watch %s: %s", qUtf8Printable(directory), qUtf8Printable(watching.error()));
        delete watcher;
        return;
    }
    connect(watcher, &DirectoryWatcher::entriesChanged, this, [this, fileNames](const QStringList& names) {
        // Other files in the folder (the preferences, for one) are none of the store's business.
        const bool concernsTheRules =
            names.contains(QString()) ||
            std::any_of(names.cbegin(), names.cend(), [&](const QString& name) { return fileNames.contains(name); });
        if (concernsTheRules)
            reloadFromDisk();
    });
    m_watchers.append(watcher);
}

void RuleStore::reloadFromDisk()
{
    Result<std::optional<RulesFile::Contents>, RulesFile::Unreadable> read = RulesFile::read(m_filePath);
    if (!read) {
        const RulesFile::Unreadable& unreadable = read.error();
        const UnreadableContent content{unreadable.bytes.isNull() ? std::nullopt : std::optional(unreadable.bytes),
                                        unreadable.error};
        if (content == m_unreadableSeen)
            return;
        m_unreadableSeen = content;
        qCCritical(lcRules, "Ignoring an unreadable rules file; keeping the rules already loaded");
        qCDebug(lcRules, "The rules file could not be read: %s", qUtf8Printable(unreadable.error));
        Q_EMIT unreadableFileFound({UnreadableRules::Occasion::outsideEdit, m_filePath, unreadable.error, {}, {}});
        return;
    }
    if (!*read)
        return;
    RulesFile::Contents& contents = *read.value();
    if (m_lastWrittenData && *m_lastWrittenData == contents.bytes)
        return;
    // Unwritten changes are made to this edit, which is taken over with them.
    if (!m_unwrittenChanges.isEmpty()) {
        (void)writeChanges(lockWait);
        return;
    }
    m_unreadableSeen.reset();
    m_lastWrittenData = std::move(contents.bytes);
    m_isApplyingExternalChange = true;
    assign(std::move(contents.document.rules), std::move(contents.document.fallback),
           contents.document.rewriter.value_or(LinkRewriter::initial()));
    m_isApplyingExternalChange = false;
    if (onExternalChange)
        onExternalChange();
}

QString RuleStore::jsonText() const
{
    return QString::fromUtf8(RulesCodec::encode(currentDocument()));
}

Result<void> RuleStore::apply(const QString& jsonText)
{
    Result<Document> decoded = RulesCodec::decode(jsonText.toUtf8());
    if (!decoded)
        return Failure{decoded.error()};
    // One write for the whole replacement: the file never holds the new rewriter with the old rules. Text without
    // a rewriter keeps the one in force.
    return edit([replacement = std::move(decoded).value()](Document& document) -> Result<void> {
        const std::optional<LinkRewriter> rewriter = replacement.rewriter ? replacement.rewriter : document.rewriter;
        document = replacement;
        document.rewriter = rewriter;
        return {};
    });
}
