#pragma once

#include "destination.h"
#include "link_rewriter.h"
#include "result.h"
#include "rule.h"
#include "rule_evaluation.h"
#include "rules_document.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSet>
#include <QUuid>

#include <functional>
#include <optional>

class DirectoryWatcher;

// The one owner of the rules: the ordered rules, the fallback and the link-cleaning settings. Every change
// is written to rules.json at once, atomically; changes other programs make to the file are taken over
// while Linkherd runs. Main thread only.
class RuleStore final : public QObject {
    Q_OBJECT

public:
    using Document = RulesDocument;

    // Loads the file; never fails. A file that exists but cannot be read is copied aside first.
    explicit RuleStore(QString fileURL, QObject* parent = nullptr);
    ~RuleStore() override;

    // The folder of the rules file, created when missing.
    static Result<QString> rulesDirectory();

    const QList<Rule>& rules() const { return m_rules; }
    void setRules(QList<Rule> rules);
    const Destination& fallback() const { return m_fallback; }
    void setFallback(Destination fallback);
    const LinkRewriter& rewriter() const { return m_rewriter; }
    void setRewriter(LinkRewriter rewriter);

    bool isFirstRun() const { return m_isFirstRun; }
    const QString& fileURL() const { return m_fileURL; }
    // Where an unreadable rules file found at start-up was copied to; empty when there was none.
    const QString& unreadableCopy() const { return m_unreadableCopy; }

    void add(Rule rule);
    // Replaces the first rule with the same id; without one, nothing changes and nothing is written.
    void replace(const Rule& rule);
    void deleteRules(const QSet<QUuid>& ids);
    // List-drag semantics: the rules at the offsets move, in their order, to before toOffset.
    void move(const QList<qsizetype>& fromOffsets, qsizetype toOffset);

    Destination destination(const QString& link, const QString& sourceBundleID = QString()) const;

    void save();
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

private:
    // Assigns without saving; returns which parts changed and notifies their observers.
    void assign(std::optional<QList<Rule>> rules, std::optional<Destination> fallback,
                std::optional<LinkRewriter> rewriter);

    QList<Rule> m_rules;
    PreparedRules m_preparedRules; // m_rules ready for matching; rebuilt with every change of m_rules
    Destination m_fallback = Destination::ask();
    LinkRewriter m_rewriter;
    bool m_isFirstRun = false;
    QString m_fileURL;
    QString m_unreadableCopy;
    bool m_isApplyingExternalChange = false;
    std::optional<QByteArray> m_lastWrittenData;
    DirectoryWatcher* m_watcher = nullptr;
};
