#include "mcp_server.h"

#include "app_info.h"
#include "base/json_member_text.h"
#include "base/logging.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// JSON-RPC 2.0's error codes.
constexpr int parseError = -32700;
constexpr int invalidRequest = -32600;
constexpr int methodNotFound = -32601;

// Older versions whose messages this server's are a subset of: a client that asks for one gets it.
const QStringList protocolVersions = {QString::fromLatin1(McpServer::latestProtocolVersion), u"2025-03-26"_s,
                                      u"2024-11-05"_s};

QByteArray encoded(const QJsonObject& message)
{
    return QJsonDocument(message).toJson(QJsonDocument::Compact);
}

// An answer to the request whose id is idText, as the request has it: a number QJsonDocument would turn into a
// double (2^70) goes back digit for digit.
QByteArray answerTo(QByteArrayView idText, const QJsonObject& outcome)
{
    const QByteArray rest = encoded(outcome); // {"result": …} or {"error": …}
    return "{\"jsonrpc\":\"2.0\",\"id\":" + idText.toByteArray() + ',' + rest.sliced(1);
}

QByteArray errorAnswer(QByteArrayView idText, int code, const QString& message)
{
    return answerTo(idText, {{u"error"_s, QJsonObject{{u"code"_s, code}, {u"message"_s, message}}}});
}

bool writeAll(int fd, QByteArrayView bytes)
{
    while (!bytes.isEmpty()) {
        const ssize_t written = ::write(fd, bytes.data(), static_cast<size_t>(bytes.size()));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes = bytes.sliced(written);
    }
    return true;
}

} // namespace

std::optional<QByteArray> McpServer::answer(QByteArrayView line)
{
    QJsonParseError parsing;
    const QJsonDocument document = QJsonDocument::fromJson(line.toByteArray(), &parsing);
    if (parsing.error != QJsonParseError::NoError)
        return errorAnswer("null", parseError, u"Not JSON: "_s + parsing.errorString());
    // This protocol version has no batches.
    if (!document.isObject())
        return errorAnswer("null", invalidRequest, u"A message is one JSON-RPC 2.0 object."_s);
    const QJsonObject message = document.object();
    const QJsonValue id = message.value(u"id"_s);
    const QJsonValue method = message.value(u"method"_s);
    // The client's answers: this server asks nothing, so there is nothing to match them with.
    if (method.isUndefined() && (message.contains(u"result"_s) || message.contains(u"error"_s)))
        return std::nullopt;
    const bool idFits = id.isString() || id.isDouble();
    QByteArray idText = "null"_ba;
    if (idFits) {
        // A string keeps its value through QJsonDocument; a number only up to 2^53, so its digits are taken as sent.
        const std::optional<QByteArrayView> asSent = id.isDouble() ? jsonMemberText(line, "id"_L1) : std::nullopt;
        idText = asSent ? asSent->toByteArray()
                        : QJsonDocument(QJsonArray{id}).toJson(QJsonDocument::Compact).chopped(1).sliced(1);
    }
    const bool wellFormed =
        message.value(u"jsonrpc"_s).toString() == u"2.0"_s && method.isString() && (id.isUndefined() || idFits);
    if (!wellFormed)
        return errorAnswer(idText, invalidRequest, u"Not a JSON-RPC 2.0 request or notification."_s);
    // Notifications (initialized, cancelled, …) ask for nothing; a request is answered before the next is read, so
    // nothing is left to cancel.
    if (id.isUndefined())
        return std::nullopt;
    // Until initialize has been answered, the client knows neither the protocol version nor the tools: nothing but
    // a ping may come first. The protocol names no code for this; JSON-RPC's invalid request fits (-32002, the
    // language server protocol's "not initialized", is MCP's "resource not found").
    const QString name = method.toString();
    if (!m_isInitialized && name != u"initialize"_s && name != u"ping"_s)
        return errorAnswer(idText, invalidRequest, u"Send initialize first: \"%1\" comes after it."_s.arg(name));

    const QJsonValue params = message.value(u"params"_s);
    if (!params.isUndefined() && !params.isObject())
        return errorAnswer(idText, McpTools::invalidParams, u"The params are an object."_s);
    const Result<QJsonObject, McpTools::ProtocolError> result = handle(name, params.toObject());
    if (!result)
        return errorAnswer(idText, result.error().code, result.error().message);
    if (name == u"initialize"_s)
        m_isInitialized = true;
    return answerTo(idText, {{u"result"_s, *result}});
}

Result<QJsonObject, McpTools::ProtocolError> McpServer::handle(const QString& method, const QJsonObject& params)
{
    if (method == u"initialize"_s) {
        const QString asked = params.value(u"protocolVersion"_s).toString();
        const QString version = protocolVersions.contains(asked) ? asked : protocolVersions.front();
        qCDebug(lcApp, "MCP client %s asks for protocol %s; answering %s",
                qPrintable(params.value(u"clientInfo"_s).toObject().value(u"name"_s).toString()), qPrintable(asked),
                qPrintable(version));
        return QJsonObject{
            {u"protocolVersion"_s, version},
            {u"capabilities"_s, QJsonObject{{u"tools"_s, QJsonObject{{u"listChanged"_s, false}}}}},
            {u"serverInfo"_s, QJsonObject{{u"name"_s, u"linkherd"_s},
                                          {u"title"_s, QString::fromLatin1(AppInfo::name)},
                                          {u"version"_s, QString::fromLatin1(AppInfo::version)}}},
            {u"instructions"_s,
             u"Linkherd opens the links the user clicks in the browser its rules choose. These tools read and change "
             "those rules (the user's rules.json; the running Linkherd takes changes over at once), the fallback for "
             "links no rule takes, and tell where a link would go."_s}};
    }
    if (method == u"ping"_s)
        return QJsonObject();
    if (method == u"tools/list"_s)
        return QJsonObject{{u"tools"_s, McpTools::list()}};
    if (method == u"tools/call"_s) {
        const QJsonValue name = params.value(u"name"_s);
        const QJsonValue arguments = params.value(u"arguments"_s);
        if (!name.isString())
            return McpTools::ProtocolError{McpTools::invalidParams, u"tools/call needs the tool's name."_s};
        if (!(arguments.isUndefined() || arguments.isNull() || arguments.isObject()))
            return McpTools::ProtocolError{McpTools::invalidParams, u"A tool's arguments are an object."_s};
        return McpTools::call(m_rulesPath, name.toString(), arguments.toObject());
    }
    return McpTools::ProtocolError{methodNotFound, u"There is no method \"%1\"."_s.arg(method)};
}

void McpServer::serve(int inputFd, int outputFd)
{
    // A client that goes away is the end of the session, not a signal that kills the process mid-write.
    std::signal(SIGPIPE, SIG_IGN);
    QByteArray line;
    bool tooLong = false;
    // Handles the line gathered so far; false when the client no longer reads.
    const auto finishLine = [&]() {
        std::optional<QByteArray> reply;
        if (tooLong) {
            reply = errorAnswer("null", parseError,
                                u"A message is at most %1 bytes; this one was not read."_s.arg(maximumLineBytes));
        } else if (!line.trimmed().isEmpty()) {
            // The catalog of browsers follows the desktop's changes through the event loop.
            QCoreApplication::processEvents();
            reply = answer(line);
        }
        line.clear();
        tooLong = false;
        return !reply || writeAll(outputFd, reply->append('\n'));
    };

    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(inputFd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        QByteArrayView chunk(buffer, got);
        while (!chunk.isEmpty()) {
            const auto* newline =
                static_cast<const char*>(std::memchr(chunk.data(), '\n', static_cast<size_t>(chunk.size())));
            const qsizetype end = newline ? newline - chunk.data() : -1;
            const QByteArrayView piece = end < 0 ? chunk : chunk.first(end);
            if (!tooLong && line.size() + piece.size() > maximumLineBytes) {
                tooLong = true;
                line = QByteArray(); // its memory too
            }
            if (!tooLong)
                line.append(piece);
            if (end < 0)
                break;
            if (!finishLine())
                return;
            chunk = chunk.sliced(end + 1);
        }
    }
    // A last message without its line break is still one.
    if (tooLong || !line.trimmed().isEmpty())
        finishLine();
}

int runMcp(const CliContext& context, const CommandArguments& /*arguments*/)
{
    context.out.flush();
    McpServer(context.rulesPath).serve(STDIN_FILENO, STDOUT_FILENO);
    return ExitCode::success;
}
