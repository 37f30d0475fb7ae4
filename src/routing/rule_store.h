#pragma once

#include "base/result.h"
#include "destination.h"
#include "link_rewriter.h"
#include "rule.h"
#include "rule_evaluation.h"
#include "rules_document.h"
#include "rules_file.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <QUuid>

#include <functional>
#include <optional>

class DirectoryWatcher;

// A rules file the store could not read, and what the store did about it, for telling the user.
struct UnreadableRules final {
    enum class Occasion {
        start,       // found at start-up: Linkherd starts without rules
        outsideEdit, // another program wrote it: the rules already loaded stay in force
        save,        // still on disk when Linkherd was about to replace it with a change
    };
    Occasion occasion = Occasion::start;
    QString path;
    QString error;     // why it could not be read, as `linkherd rules` says it
    QString keptAs;    // where its content was kept aside; empty when no copy was made
    QString copyError; // why no copy could be made; the store then leaves the file as it is

    friend bool operator==(const UnreadableRules&, const UnreadableRules&) = default;
};

// The one owner of the rules: the ordered rules, the fallback and the link-cleaning settings. Every change
// is an edit of rules.json as it is on disk, made under the rules file's lock (RulesFile::lock) and written
// atomically: an outside edit the store has not taken over yet is taken over first, then the change is applied
// to it. Changes other programs make to the file are taken over while Linkherd runs. A file it cannot read is
// never replaced before its content has been kept aside. Main thread only.
//
// The store waits for the lock only briefly (lockWait) and never while a link is routed: when another writer
// holds it longer, the change is in force at once and is written from the event loop as soon as the lock is
// free.
class RuleStore final : public QObject {
    Q_OBJECT

public:
    using Document = RulesDocument;

    // How long a change waits for another writer's lock before it is retried from the event loop.
    static constexpr std::chrono::milliseconds lockWait{50};

    // Loads the file; never fails. A file that exists but cannot be read is copied aside first. What interrupted
    // saves left next to the file is removed.
    explicit RuleStore(QString filePath, QObject* parent = nullptr);
    ~RuleStore() override;

    // The folder of the rules file, created when missing.
    static Result<QString> rulesDirectory();

    const QList<Rule>& rules() const { return m_rules; }
    void setRules(QList<Rule> rules);
    const Destination& fallback() const { return m_fallback; }
    void setFallback(Destination fallback);
    // The fallback a first run starts with (the desktop's default browser): written like any change, and in force
    // even when the file does not take it (an unreadable file that could not be kept aside), as Linkherd's own
    // default rather than anyone's edit.
    void setStartingFallback(Destination fallback);
    const LinkRewriter& rewriter() const { return m_rewriter; }
    void setRewriter(LinkRewriter rewriter);

    bool isFirstRun() const { return m_isFirstRun; }
    const QString& filePath() const { return m_filePath; }
    // The rules file found at start-up when it could not be read.
    const std::optional<UnreadableRules>& unreadableAtStart() const { return m_unreadableAtStart; }

    // Applies one change to the file as it is on disk, under its lock, and to the rules in force. A change that
    // is refused, or that cannot be written (too large, the file unreadable and not kept aside, not writable),
    // changes nothing and fails with why. While another writer holds the lock, the change is in force at once
    // and succeeds when it can be written at all (RulesFile::encode): it is written once the lock is free.
    Result<void> edit(const RulesFile::Change& change);

    void add(Rule rule);
    // Replaces the first rule with the same id; without one, nothing changes and nothing is written.
    void replace(const Rule& rule);
    void deleteRules(const QSet<QUuid>& ids);
    // List-drag semantics: the rules at the offsets move, in their order, to before toOffset.
    void move(const QList<qsizetype>& fromOffsets, qsizetype toOffset);

    Destination destination(const QString& link, const QString& sourceDesktopID = QString()) const;
    // Whether the application a link comes from can change its destination: some enabled rule names source
    // applications. Working the application out costs a bus round trip and reads under /proc for every link.
    bool looksAtSourceApplications() const { return m_preparedRules.looksAtSources(); }

    // Whether changes wait for another writer's lock.
    bool hasUnwrittenChanges() const { return !m_unwrittenChanges.isEmpty(); }
    // Writes whatever changes wait for the lock, or the rules in force when none do.
    void save();
    // Takes over changes to the file, and to the file a link in its place points to.
    void startWatching();
    void reloadFromDisk();

    // The rules as the store writes them.
    QString jsonText() const;
    // Replaces the rules, the fallback and (when the text has one) the rewriter. Bad text changes nothing.
    Result<void> apply(const QString& jsonText);

    // Called after an outside change has been taken over.
    std::function<void()> onExternalChange;

    Document currentDocument() const;

Q_SIGNALS:
    void rulesChanged();
    void fallbackChanged();
    void rewriterChanged();
    // Once for each change of the rules, the fallback or both, after their own signals: for observers that tell
    // others of either, once per edit.
    void rulesOrFallbackChanged();
    // An outside edit could not be read, or an unreadable file was met before a save; reported once for each
    // content of the file.
    void unreadableFileFound(const UnreadableRules& problem);

private:
    // Assigns without saving; returns which parts changed and notifies their observers.
    void assign(std::optional<QList<Rule>> rules, std::optional<Destination> fallback,
                std::optional<LinkRewriter> rewriter);
    void assignDocument(const Document& document);
    // A change being made, and the rules in force as they are with it.
    struct NewChange final {
        const RulesFile::Change& change;
        const Document& inForce;
    };
    // Writes the waiting changes, and then the new one when there is one, applied to the latest document, under
    // the lock. Fails when nothing could be written, and the new change is then not in force; succeeds when the
    // lock is busy and the changes wait for it.
    Result<void> writeChanges(std::chrono::milliseconds wait, const NewChange* made = nullptr);
    // Whether an unreadable file may be replaced now: what would be lost has been kept aside.
    bool mayReplace(const RulesFile::Unreadable& unreadable);
    void watchFolder(const QString& directory, const QStringList& fileNames);

    // A file's content as the store last met it unreadable: its bytes (none when nothing could be read) and
    // why it could not be read.
    struct UnreadableContent final {
        std::optional<QByteArray> bytes;
        QString error;
        friend bool operator==(const UnreadableContent&, const UnreadableContent&) = default;
    };

    QList<Rule> m_rules;
    PreparedRules m_preparedRules; // m_rules ready for matching; rebuilt with every change of m_rules
    Destination m_fallback = Destination::ask();
    LinkRewriter m_rewriter;
    bool m_isFirstRun = false;
    QString m_filePath;
    std::optional<UnreadableRules> m_unreadableAtStart;
    bool m_isApplyingExternalChange = false;
    bool m_isClosing = false;
    bool m_isWaitingForLock = false;                     // told already
    std::optional<QByteArray> m_lastWrittenData;         // the file's bytes as written or taken over
    std::optional<UnreadableContent> m_unreadableSeen;   // reported to the user already
    std::optional<QByteArray> m_keptAside;               // unreadable bytes whose copy aside exists
    std::optional<UnreadableContent> m_refusedToReplace; // could not be kept aside; reported already
    QList<DirectoryWatcher*> m_watchers;
    QList<RulesFile::Change> m_unwrittenChanges; // in force, not yet in the file; in the order they were made
    QTimer m_retryTimer;
};
