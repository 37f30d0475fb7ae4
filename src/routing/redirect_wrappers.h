#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

struct LinkParts;

// Known redirect wrappers (mail Safe Links, chat and social link shims): links whose query carries the link the
// user meant. The table is redirect_wrappers.txt, compiled in; its header says how an entry reads. Taking the
// target out is text work only: no wrapper is ever asked over the network.
class RedirectWrappers final {
public:
    struct Wrapper final {
        QString host;              // lower case, without the "*."
        bool anySubdomain = false; // "*.host": the subdomains of host, not host itself
        QString path;              // without the "*"
        bool pathIsPrefix = false;
        QStringList parameters; // empty: the whole query is the target
        QString name;
    };

    struct Unwrapped final {
        QString target;
        const Wrapper* wrapper = nullptr;
    };

    // Entries that do not read are left out and described in problems, one line each.
    static RedirectWrappers parse(QStringView table, QStringList* problems = nullptr);
    static const RedirectWrappers& builtIn();

    // The target inside link (split into parts) when link is one of the wrappers and the target is an http or
    // https link; else nothing. The target takes the wrapper's fragment when it has none of its own, as a browser
    // following the redirect would.
    std::optional<Unwrapped> unwrap(QStringView link, const LinkParts& parts) const;

    const QList<Wrapper>& wrappers() const { return m_wrappers; }

    // An http or https link with a host, valid by the standard (QUrl's strict mode): what a target must be.
    static bool isWebLink(QStringView link);

private:
    QList<Wrapper> m_wrappers;
    // By the last two labels of their host ("outlook.com", "href.li"): one look-up tells most links apart.
    QHash<QString, QList<qsizetype>> m_byDomain;
};
