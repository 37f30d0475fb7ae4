#pragma once

#include "base/result.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

// The tools `linkherd mcp` offers an assistant: the rule operations of RuleCommands on one rules file, read afresh
// for every call and edited under its lock. A call the rules refuse (an invalid pattern, a rule that is not there)
// is a tool result marked as an error, for the assistant to read and act on; a call that does not fit a tool's
// input schema is the protocol's error, for the client.
namespace McpTools {

struct ProtocolError final {
    int code = 0;
    QString message;
};

inline constexpr int invalidParams = -32602;

// Every tool with its name, description and JSON Schema of its arguments, as tools/list gives them.
QJsonArray list();

// The CallToolResult of the named tool on the rules file at rulesPath.
Result<QJsonObject, ProtocolError> call(const QString& rulesPath, const QString& name, const QJsonObject& arguments);

} // namespace McpTools
