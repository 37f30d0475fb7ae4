#include "rules_file_notices.h"

#include "base/elided_text.h"
#include "platform/desktop_notifications.h"
#include "routing/rule_store.h"

using namespace Qt::StringLiterals;

namespace {

// A message that quotes a whole hostile file would be no use in a notification.
constexpr qsizetype longestQuote = 400;

} // namespace

RulesFileNotices::RulesFileNotices(RuleStore& store, DesktopNotifications& notifications, QObject* parent)
    : QObject(parent),
      m_store(store),
      m_notifications(notifications)
{
    connect(&m_store, &RuleStore::unreadableFileFound, this, &RulesFileNotices::tell);
}

void RulesFileNotices::start()
{
    if (m_store.unreadableAtStart())
        tell(*m_store.unreadableAtStart());
}

void RulesFileNotices::tell(const UnreadableRules& problem)
{
    const QString reading = problem.path + u": "_s + elidedText(problem.error, longestQuote);
    const QString copyError = elidedText(problem.copyError, longestQuote);
    QString summary = u"Linkherd could not read your rules"_s;
    QString outcome;
    switch (problem.occasion) {
    case UnreadableRules::Occasion::start:
        outcome = problem.keptAs.isEmpty()
                      ? u"Linkherd started with no rules. Your file could not be kept aside (%1), so Linkherd leaves "
                        u"it as it is and saves no changes until it can read it."_s.arg(copyError)
                      : u"Linkherd started with no rules; your file was kept as %1."_s.arg(problem.keptAs);
        break;
    case UnreadableRules::Occasion::outsideEdit:
        outcome = u"Your previous rules stay in force."_s;
        break;
    case UnreadableRules::Occasion::save:
        if (problem.keptAs.isEmpty()) {
            summary = u"Linkherd did not save your change"_s;
            outcome = u"The file holds an edit Linkherd could not read, and it could not be kept aside (%1). Linkherd "
                      u"saves no changes until it can read the file."_s.arg(copyError);
        } else {
            summary = u"Linkherd kept an edit it could not read"_s;
            outcome = u"Before saving your change, Linkherd kept the file as %1."_s.arg(problem.keptAs);
        }
        break;
    }
    m_notifications.notify(summary, reading + u'\n' + outcome);
}
