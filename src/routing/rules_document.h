#pragma once

#include "destination.h"
#include "link_rewriter.h"
#include "rule.h"

#include <QList>

#include <optional>

// The rules file's top-level object. It exists only while the file is read or written.
struct RulesDocument final {
    qint64 version = 1; // any integer is read; 1 is written
    QList<Rule> rules;
    Destination fallback = Destination::ask();
    std::optional<LinkRewriter> rewriter; // absent when the settings equal LinkRewriter::initial()

    // The document that holds these settings as they are written: the rewriter only when it is not the
    // initial one.
    static RulesDocument make(QList<Rule> rules, Destination fallback, const LinkRewriter& rewriter)
    {
        RulesDocument document;
        document.rules = std::move(rules);
        document.fallback = std::move(fallback);
        if (rewriter != LinkRewriter::initial())
            document.rewriter = rewriter;
        return document;
    }

    friend bool operator==(const RulesDocument&, const RulesDocument&) = default;
};
