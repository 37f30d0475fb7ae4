#include "rule_store.h"

#include "base/bounded_file.h"
#include "base/directory_watcher.h"
#include "base/logging.h"
#include "rule_evaluation.h"
#include "rules_codec.h"
#include "rules_file.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>

#include <algorithm>

RuleStore::RuleStore(QString fileURL, QObject* parent) : QObject(parent), m_fileURL(std::move(fileURL))
{
    for (const QString& leftover : RulesFile::removeInterruptedSaves(m_fileURL))
        qCInfo(lcRules, "Removed %s, left by an interrupted save", qUtf8Printable(leftover));

    Result<std::optional<RulesFile::Contents>, RulesFile::Unreadable> read = RulesFile::read(m_fileURL);
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
    UnreadableRules problem{UnreadableRules::Occasion::start, m_fileURL, unreadable.error, {}, {}};
    const Result<QString> copy = RulesFile::keepUnreadableCopy(m_fileURL, unreadable.bytes);
    if (copy) {
        problem.keptAs = copy.value();
        m_keptAside = unreadable.bytes;
        qCWarning(lcRules,
                  "The rules file %s could not be read (%s); starting without rules. "
                  "The file was kept as %s",
                  qUtf8Printable(m_fileURL), qUtf8Printable(unreadable.error), qUtf8Printable(problem.keptAs));
    } else {
        problem.copyError = copy.error();
        m_refusedToReplace = content;
        qCCritical(lcRules,
                   "The rules file %s could not be read (%s), nor copied aside (%s); starting without rules "
                   "and leaving the file as it is",
                   qUtf8Printable(m_fileURL), qUtf8Printable(unreadable.error), qUtf8Printable(copy.error()));
    }
    m_unreadableAtStart = std::move(problem);
}

RuleStore::~RuleStore() = default;

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
}

void RuleStore::setRules(QList<Rule> rules)
{
    assign(std::move(rules), std::nullopt, std::nullopt);
    save();
}

void RuleStore::setFallback(Destination fallback)
{
    assign(std::nullopt, std::move(fallback), std::nullopt);
    save();
}

void RuleStore::setRewriter(LinkRewriter rewriter)
{
    assign(std::nullopt, std::nullopt, std::move(rewriter));
    save();
}

void RuleStore::add(Rule rule)
{
    QList<Rule> rules = m_rules;
    rules.append(std::move(rule));
    setRules(std::move(rules));
}

void RuleStore::replace(const Rule& rule)
{
    const auto found =
        std::find_if(m_rules.cbegin(), m_rules.cend(), [&](const Rule& existing) { return existing.id == rule.id; });
    if (found == m_rules.cend())
        return;
    QList<Rule> rules = m_rules;
    rules[found - m_rules.cbegin()] = rule;
    setRules(std::move(rules));
}

void RuleStore::deleteRules(const QSet<QUuid>& ids)
{
    QList<Rule> rules = m_rules;
    rules.removeIf([&](const Rule& rule) { return ids.contains(rule.id); });
    setRules(std::move(rules));
}

void RuleStore::move(const QList<qsizetype>& fromOffsets, qsizetype toOffset)
{
    QList<qsizetype> offsets = fromOffsets;
    std::sort(offsets.begin(), offsets.end());
    offsets.erase(std::unique(offsets.begin(), offsets.end()), offsets.end());
    offsets.removeIf([&](qsizetype offset) { return offset < 0 || offset >= m_rules.size(); });

    QList<Rule> moved;
    QList<Rule> rest;
    for (qsizetype index = 0; index < m_rules.size(); ++index)
        (std::binary_search(offsets.cbegin(), offsets.cend(), index) ? moved : rest).append(m_rules[index]);
    const auto takenBefore =
        std::count_if(offsets.cbegin(), offsets.cend(), [&](qsizetype offset) { return offset < toOffset; });
    const qsizetype insertAt = std::clamp<qsizetype>(toOffset - takenBefore, 0, rest.size());
    for (qsizetype index = 0; index < moved.size(); ++index)
        rest.insert(insertAt + index, moved[index]);
    setRules(std::move(rest));
}

Destination RuleStore::destination(const QString& link, const QString& sourceBundleID) const
{
    const std::optional<qsizetype> index = m_preparedRules.firstMatch(link, sourceBundleID);
    return index ? m_rules[*index].destination : m_fallback;
}

RuleStore::Document RuleStore::currentDocument() const
{
    return Document::make(m_rules, m_fallback, m_rewriter);
}

bool RuleStore::mayReplaceFile()
{
    if (!QFile::exists(m_fileURL))
        return true;
    const Result<QByteArray> bytes = BoundedFile::read(m_fileURL, BoundedFile::rulesFileLimit);
    QString error;
    if (bytes) {
        if (*bytes == m_lastWrittenData || *bytes == m_keptAside)
            return true;
        // A readable outside edit that has not been taken over yet is replaced, as the store's rules are the
        // ones the user just changed.
        const Result<RulesDocument> decoded = RulesCodec::decode(*bytes);
        if (decoded)
            return true;
        error = decoded.error();
    } else {
        error = bytes.error();
    }

    UnreadableRules problem{UnreadableRules::Occasion::save, m_fileURL, error, {}, {}};
    const Result<QString> copy = RulesFile::keepUnreadableCopy(m_fileURL, bytes ? *bytes : QByteArray());
    if (copy) {
        m_keptAside = *bytes;
        problem.keptAs = copy.value();
        qCWarning(lcRules, "The rules file %s could not be read (%s); it was kept as %s before saving",
                  qUtf8Printable(m_fileURL), qUtf8Printable(error), qUtf8Printable(problem.keptAs));
        Q_EMIT unreadableFileFound(problem);
        return true;
    }
    qCCritical(lcRules, "Not saving rules: %s could not be read (%s), nor copied aside (%s)", qUtf8Printable(m_fileURL),
               qUtf8Printable(error), qUtf8Printable(copy.error()));
    const UnreadableContent content{bytes ? std::optional(*bytes) : std::nullopt, error};
    if (m_refusedToReplace != content) {
        m_refusedToReplace = content;
        problem.copyError = copy.error();
        Q_EMIT unreadableFileFound(problem);
    }
    return false;
}

void RuleStore::save()
{
    if (m_isApplyingExternalChange || !mayReplaceFile())
        return;
    Result<QByteArray> written = RulesFile::write(m_fileURL, currentDocument());
    if (!written) {
        qCCritical(lcRules, "Could not save rules: %s", qUtf8Printable(written.error()));
        return;
    }
    m_lastWrittenData = std::move(written).value();
    m_unreadableSeen.reset();
}

void RuleStore::startWatching()
{
    if (!m_watchers.isEmpty())
        return;
    // A rules file kept elsewhere (dotfiles) and linked into place is edited where it lives: the folder of
    // every link on the way to it is watched, and the folder of the file itself.
    QFileInfo entry(m_fileURL);
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
    Result<std::optional<RulesFile::Contents>, RulesFile::Unreadable> read = RulesFile::read(m_fileURL);
    if (!read) {
        const RulesFile::Unreadable& unreadable = read.error();
        const UnreadableContent content{unreadable.bytes.isNull() ? std::nullopt : std::optional(unreadable.bytes),
                                        unreadable.error};
        if (content == m_unreadableSeen)
            return;
        m_unreadableSeen = content;
        qCCritical(lcRules, "Ignoring an unreadable rules file; keeping the rules already loaded");
        qCDebug(lcRules, "The rules file could not be read: %s", qUtf8Printable(unreadable.error));
        Q_EMIT unreadableFileFound({UnreadableRules::Occasion::outsideEdit, m_fileURL, unreadable.error, {}, {}});
        return;
    }
    if (!*read)
        return;
    RulesFile::Contents& contents = *read.value();
    if (m_lastWrittenData && *m_lastWrittenData == contents.bytes)
        return;
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
    Document& document = decoded.value();
    // One write for the whole replacement: the file never holds the new rewriter with the old rules.
    assign(std::move(document.rules), std::move(document.fallback), std::move(document.rewriter));
    save();
    return {};
}
