// Any bytes as what an MCP client writes, one message a line, answered by the server of `linkherd mcp` against a
// rules file of its own (empty at the start of every input, so a crash replays alone). Every answer is one line
// holding one JSON-RPC 2.0 object with either a result or an error; a request (a method and an id) gets an answer
// under its own id, a notification (a method, no id) none.
#include "cli/mcp_server.h"
#include "fuzz_support.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QString rulesPath;

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    rulesPath = Fuzz::setUpSandbox() + QStringLiteral("/config/rules.json");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    QFile::remove(rulesPath);
    McpServer server(rulesPath);
    const QByteArray input = Fuzz::bytes(data, size);
    for (const QByteArray& line : input.split('\n')) {
        const std::optional<QByteArray> answer = server.answer(line);

        const QJsonDocument asked = QJsonDocument::fromJson(line);
        const QJsonObject request = asked.object();
        const QJsonValue id = request.value(QStringLiteral("id"));
        const bool isCall = asked.isObject() && request.value(QStringLiteral("jsonrpc")) == QStringLiteral("2.0") &&
                            request.value(QStringLiteral("method")).isString();
        if (isCall && id.isUndefined())
            Fuzz::check(!answer, "a notification gets no answer");
        if (isCall && (id.isString() || id.isDouble()))
            Fuzz::check(answer.has_value(), "a request gets an answer");
        if (!answer)
            continue;

        Fuzz::check(!answer->contains('\n'), "an answer is one line");
        QJsonParseError error;
        const QJsonDocument answered = QJsonDocument::fromJson(*answer, &error);
        Fuzz::check(error.error == QJsonParseError::NoError && answered.isObject(), "an answer is a JSON object");
        const QJsonObject reply = answered.object();
        Fuzz::check(reply.value(QStringLiteral("jsonrpc")) == QStringLiteral("2.0"), "an answer is JSON-RPC 2.0");
        Fuzz::check(reply.contains(QStringLiteral("result")) != reply.contains(QStringLiteral("error")),
                    "an answer holds a result or an error");
        if (isCall && (id.isString() || id.isDouble()))
            Fuzz::check(reply.value(QStringLiteral("id")) == id, "a request is answered under its own id");
    }
    return 0;
}
