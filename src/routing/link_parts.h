#pragma once

#include <QStringView>

#include <optional>

// A link split into its generic parts (RFC 3986), as views into the link's own text. Nothing is decoded or
// normalised: Linkherd keeps links as the text it was given and changes only what it means to change.
// The views are valid while the text they were split from lives.
struct LinkParts final {
    QStringView scheme;              // without the ':'; empty when the link has no scheme
    std::optional<QStringView> host; // absent without an authority; an IPv6 literal keeps its brackets
    QStringView path;                // up to the '?', the '#' or the end of the link; may be empty
    qsizetype queryBegin = -1;       // position of the '?', -1 without a query
    qsizetype queryEnd = -1;         // position after the query: the '#' or the end of the link
    qsizetype fragmentBegin = -1;    // position of the '#', -1 without a fragment

    bool hasQuery() const { return queryBegin >= 0; }

    // Fails for text that is not a link: white space or control characters, a malformed scheme, a port
    // that is not a number, an unclosed IPv6 literal.
    static std::optional<LinkParts> split(QStringView link);
    // Whether the text is a link that begins with a scheme ("https:", "mailto:"); text starting with "-" is not.
    static bool hasScheme(QStringView link);
};

// Removes percent-encoding (as UTF-8). Invalid escapes stay as they are.
QString percentDecoded(QStringView text);
