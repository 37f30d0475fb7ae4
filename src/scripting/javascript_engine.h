#pragma once

#include "base/result.h"

#include <QJsonValue>
#include <QString>

#include <chrono>
#include <memory>

// How far one engine session may go. A configuration file is somebody's program: it may loop or allocate
// without end, and the import must come back either way.
struct JavaScriptLimits final {
    std::chrono::milliseconds time = std::chrono::seconds(3); // all evaluations of the session together
    qint64 memoryBytes = qint64(256) * 1024 * 1024;           // the engine's heap, and what the process grows by
};

// A sandbox for evaluating configuration scripts: one SpiderMonkey context with one global object that has the
// standard ECMAScript built-ins and nothing else (no files, no network, no modules). Every instance is a fresh
// context, so nothing one file defines can reach the next import, and a stopped evaluation takes its heap with
// it when the instance goes. The engine itself starts with the first instance, never before: an application
// that does not import pays nothing. One instance at a time per thread, used on the thread that made it.
class JavaScriptEngine final {
public:
    explicit JavaScriptEngine(const JavaScriptLimits& limits = {});
    ~JavaScriptEngine();
    JavaScriptEngine(const JavaScriptEngine&) = delete;
    JavaScriptEngine& operator=(const JavaScriptEngine&) = delete;

    // False when the engine could not be started; every evaluation then fails.
    bool isRunning() const;

    // Evaluates a classic, non-strict script in the global scope, then the promise jobs it queued, and gives
    // its completion value as plain data: null, booleans, numbers, strings, arrays and objects (their own
    // enumerable properties); undefined, functions and symbols come back undefined. The failure is the thrown
    // value as text ("SyntaxError: unexpected token: ':' at line 3") or the limit that stopped the script.
    Result<QJsonValue> evaluate(const QString& source, const QString& fileName);

    // Whether a limit has stopped this session. From then on every evaluation fails with that limit's message.
    bool hasExceededLimit() const;

private:
    struct Session;
    std::unique_ptr<Session> m_session;
};
