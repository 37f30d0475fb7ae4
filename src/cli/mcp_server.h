#pragma once

#include "cli_context.h"
#include "command_arguments.h"
#include "mcp_tools.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

// `linkherd mcp`: a Model Context Protocol server on standard input and output, one JSON-RPC 2.0 message a line,
// offering McpTools once the client has initialized the session (before, only ping is answered). A request's id
// comes back as the request wrote it (a number digit for digit). Nothing but answers goes to standard output; what the
// libraries log goes to standard error. The server keeps nothing of the rules between requests, and no input, however
// wrong or large, ends it: only the end of its input does.
class McpServer final {
public:
    explicit McpServer(QString rulesPath) : m_rulesPath(std::move(rulesPath)) {}

    // The answer to one line, without its line break; nothing for a notification or a client's response.
    std::optional<QByteArray> answer(QByteArrayView line);

    // Answers each line of inputFd on outputFd until the input ends (or the client stops reading).
    void serve(int inputFd, int outputFd);

    // A longer line is not read, only answered with an error: requests are a few hundred bytes.
    static constexpr qsizetype maximumLineBytes = 1024 * 1024;
    static constexpr char latestProtocolVersion[] = "2025-06-18";

private:
    Result<QJsonObject, McpTools::ProtocolError> handle(const QString& method, const QJsonObject& params);

    QString m_rulesPath;
    bool m_isInitialized = false; // initialize has been answered
};

int runMcp(const CliContext& context, const CommandArguments& arguments);
