#include "javascript_engine.h"

#include "base/elided_text.h"
#include "platform/proc/process_memory.h"

#include <QJsonArray>
#include <QJsonObject>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <js/Array.h>
#include <js/CompilationAndEvaluation.h>
#include <js/Conversions.h>
#include <js/ErrorReport.h>
#include <js/Exception.h>
#include <js/Initialization.h>
#include <js/Interrupt.h>
#include <js/MemoryCallbacks.h>
#include <js/SourceText.h>
#include <js/String.h>
#include <jsapi.h>
#include <jsfriendapi.h>
#include <mozilla/Range.h>
#include <mutex>
#include <optional>
#include <thread>
using namespace Qt::StringLiterals;

namespace {

// Deep enough for every real configuration; a tree deeper than this is cut off rather than followed, which
// also keeps a cyclic object from being walked for ever.
constexpr int deepestValue = 64;

// Scripts recurse on the caller's stack. A quota well inside a thread's usual 8 MiB lets runaway recursion end
// in a "too much recursion" error instead of a crash.
constexpr size_t nativeStackQuota = 1024 * 1024;

// How often the watchdog looks at the clock and at the process's memory.
constexpr std::chrono::milliseconds watchdogPeriod(10);

bool startEngine()
{
    // SpiderMonkey is started once per process, on first use. Its helper threads must be stopped before the
    // library's own static objects are destroyed at exit, so the shutdown is registered right after the start
    // (and runs before those destructors); the engine cannot be started again after it.
    static std::once_flag once;
    static bool started = false;
    std::call_once(once, [] {
        started = JS_Init();
        if (started)
            std::atexit([] { JS_ShutDown(); });
    });
    return started;
}

QString secondsText(std::chrono::milliseconds time)
{
    const double seconds = double(time.count()) / 1000.0;
    return QString::number(seconds, 'g', 3) + (seconds == 1.0 ? u" second"_s : u" seconds"_s);
}

QString textOf(JSContext* cx, JSString* string)
{
    const size_t length = JS_GetStringLength(string);
    QString text(qsizetype(length), Qt::Uninitialized);
    if (!JS_CopyStringChars(cx, mozilla::Range<char16_t>(reinterpret_cast<char16_t*>(text.data()), length), string))
        return QString();
    return text;
}

// A script may throw any amount of text (a string of 50 MB, say); the message keeps its start and its end, and
// only they are copied out of the engine.
constexpr size_t longestExceptionText = 500;

QString shortTextOf(JSContext* cx, JS::HandleString string)
{
    const size_t length = JS_GetStringLength(string);
    if (length <= longestExceptionText)
        return textOf(cx, string);
    const size_t part = longestExceptionText / 2 + 1;
    JS::RootedString head(cx, JS_NewDependentString(cx, string, 0, part));
    JS::RootedString tail(cx, JS_NewDependentString(cx, string, length - part, part));
    if (!head || !tail) {
        JS_ClearPendingException(cx);
        return u"an exception too long to show"_s;
    }
    const QString ends = textOf(cx, head) + textOf(cx, tail);
    return elidedText(ends, qsizetype(longestExceptionText));
}

// SpiderMonkey allows one context per thread; a second one would take over the first one's thread state.
thread_local bool threadHasContext = false;

const JSClass globalClass = {"global", JSCLASS_GLOBAL_FLAGS, &JS::DefaultGlobalClassOps, nullptr, nullptr, nullptr};

} // namespace

struct JavaScriptEngine::Session final {
    enum class Limit { none, time, memory };

    JSContext* cx = nullptr;
    std::optional<JS::PersistentRootedObject> global;
    JavaScriptLimits limits;
    std::atomic<Limit> exceeded = Limit::none;

    // The engine bounds its own heap, but the elements of arrays and the characters of strings live outside
    // it: the watchdog bounds what the whole process grows by while the session lasts.
    qint64 residentAtStart = 0;
    std::thread watchdog;
    std::mutex mutex;
    std::condition_variable wake;
    bool stopping = false; // guarded by mutex

    explicit Session(const JavaScriptLimits& sessionLimits) : limits(sessionLimits) {}

    ~Session()
    {
        if (watchdog.joinable()) {
            {
                std::lock_guard lock(mutex);
                stopping = true;
            }
            wake.notify_one();
            watchdog.join();
        }
        global.reset();
        if (cx) {
            JS_DestroyContext(cx);
            threadHasContext = false;
        }
    }

    bool start()
    {
        if (threadHasContext || !startEngine())
            return false;
        cx = JS_NewContext(uint32_t(std::min<qint64>(limits.memoryBytes, UINT32_MAX)));
        if (!cx)
            return false;
        threadHasContext = true;
        JS_SetContextPrivate(cx, this);
        JS_SetNativeStackQuota(cx, nativeStackQuota);
        JS_SetGCParameter(cx, JSGC_MAX_BYTES, uint32_t(std::min<qint64>(limits.memoryBytes, UINT32_MAX)));
        if (!js::UseInternalJobQueues(cx) || !JS::InitSelfHostedCode(cx))
            return false;
        JS_AddInterruptCallback(cx, [](JSContext* context) {
            if (static_cast<Session*>(JS_GetContextPrivate(context))->exceeded.load() == Limit::none)
                return true;
            // Ending the script is not enough when promise jobs keep queueing each other.
            js::StopDrainingJobQueue(context);
            return false;
        });
        // Called at the allocation that failed, even when the script goes on to catch the error: a
        // configuration that ran out of memory is refused as a whole.
        JS::SetOutOfMemoryCallback(
            cx, [](JSContext*, void* data) { static_cast<Session*>(data)->exceed(Limit::memory); }, this);

        JS::RealmOptions options;
        JSObject* made = JS_NewGlobalObject(cx, &globalClass, nullptr, JS::FireOnNewGlobalHook, options);
        if (!made)
            return false;
        global.emplace(cx, made);

        residentAtStart = residentMemoryBytes();
        watchdog = std::thread([this] { watch(); });
        return true;
    }

    void watch()
    {
        const auto deadline = std::chrono::steady_clock::now() + limits.time;
        std::unique_lock lock(mutex);
        while (!stopping) {
            const auto now = std::chrono::steady_clock::now();
            if (now >= deadline)
                exceed(Limit::time);
            else if (residentMemoryBytes() - residentAtStart > limits.memoryBytes)
                exceed(Limit::memory);
            // The running script ends at its next loop iteration or call, uncatchably. The request is repeated
            // every period, so that what runs after it (a promise job, or a script that caught running out of
            // the engine's own memory) is stopped too.
            if (exceeded.load() != Limit::none)
                JS_RequestInterruptCallback(cx);
            const auto next = now >= deadline ? now + watchdogPeriod : std::min(deadline, now + watchdogPeriod);
            wake.wait_until(lock, next, [this] { return stopping; });
        }
    }

    // The first limit reached is the one reported.
    void exceed(Limit limit)
    {
        auto expected = Limit::none;
        exceeded.compare_exchange_strong(expected, limit);
    }

    QString limitMessage() const
    {
        switch (exceeded.load()) {
        case Limit::time:
            return u"the configuration did not finish within %1"_s.arg(secondsText(limits.time));
        case Limit::memory:
            return u"the configuration needed more than %1 MB of memory"_s.arg(limits.memoryBytes / (1024 * 1024));
        case Limit::none:
            break;
        }
        return QString();
    }

    // The pending exception as text, and where the script threw it when it is an error from fileName.
    QString takeException(const QByteArray& fileName)
    {
        JS::RootedValue exception(cx);
        if (!JS_GetPendingException(cx, &exception))
            return u"the script stopped without saying why"_s;
        JS_ClearPendingException(cx);

        unsigned line = 0;
        if (exception.isObject()) {
            JS::RootedObject object(cx, &exception.toObject());
            if (const JSErrorReport* report = JS_ErrorFromException(cx, object);
                report && report->filename && fileName == report->filename)
                line = report->lineno;
        }

        QString text;
        if (exception.isSymbol()) {
            // Symbols refuse to become strings implicitly; String(symbol) would give "Symbol(description)".
            text = u"a symbol"_s;
        } else if (JS::RootedString string(cx, JS::ToString(cx, exception)); string) {
            text = shortTextOf(cx, string);
        } else {
            // The value's own toString failed, for example by throwing in turn.
            JS_ClearPendingException(cx);
            text = u"an exception that cannot be shown as text"_s;
        }
        if (line > 0)
            text += u" at line "_s + QString::number(line);
        return text;
    }

    Result<QJsonValue> toPlainData(JS::HandleValue value, int depth)
    {
        if (value.isNull())
            return QJsonValue(QJsonValue::Null);
        if (value.isBoolean())
            return QJsonValue(value.toBoolean());
        if (value.isNumber())
            return QJsonValue(value.toNumber());
        if (value.isString())
            return QJsonValue(textOf(cx, value.toString()));
        if (!value.isObject() || depth >= deepestValue)
            return QJsonValue(QJsonValue::Undefined);

        JS::RootedObject object(cx, &value.toObject());
        if (JS::IsCallable(object))
            return QJsonValue(QJsonValue::Undefined);
        bool isArray = false;
        if (!JS::IsArrayObject(cx, object, &isArray))
            return Failure{};
        if (isArray) {
            uint32_t length = 0;
            if (!JS::GetArrayLength(cx, object, &length))
                return Failure{};
            QJsonArray array;
            JS::RootedValue element(cx);
            for (uint32_t index = 0; index < length; ++index) {
                if (!JS_GetElement(cx, object, index, &element))
                    return Failure{};
                Result<QJsonValue> converted = toPlainData(element, depth + 1);
                if (!converted)
                    return converted;
                array.append(*converted);
            }
            return QJsonValue(array);
        }

        JS::Rooted<JS::IdVector> ids(cx, JS::IdVector(cx));
        if (!JS_Enumerate(cx, object, &ids))
            return Failure{};
        QJsonObject members;
        JS::RootedValue key(cx);
        JS::RootedValue member(cx);
        for (size_t index = 0; index < ids.length(); ++index) {
            if (ids[index].isSymbol())
                continue;
            if (!JS_IdToValue(cx, ids[index], &key) || !JS_GetPropertyById(cx, object, ids[index], &member))
                return Failure{};
            JSString* name = JS::ToString(cx, key);
            if (!name)
                return Failure{};
            Result<QJsonValue> converted = toPlainData(member, depth + 1);
            if (!converted)
                return converted;
            members.insert(textOf(cx, name), *converted);
        }
        return QJsonValue(members);
    }

    Result<QJsonValue> evaluate(const QString& source, const QString& fileName)
    {
        if (exceeded.load() != Limit::none)
            return Failure{limitMessage()};
        const QByteArray name = fileName.toUtf8();
        JSAutoRealm realm(cx, *global);

        JS::CompileOptions options(cx);
        options.setFileAndLine(name.constData(), 1);
        JS::SourceText<char16_t> text;
        if (!text.init(cx, reinterpret_cast<const char16_t*>(source.utf16()), size_t(source.size()),
                       JS::SourceOwnership::Borrowed))
            return failure(name);

        JS::RootedValue completion(cx);
        if (!JS::Evaluate(cx, options, text, &completion))
            return failure(name);
        // Promise reactions run once the script is done, as they would in any host's event loop.
        js::RunJobs(cx);
        if (JS_IsExceptionPending(cx) || exceeded.load() != Limit::none)
            return failure(name);

        Result<QJsonValue> data = toPlainData(completion, 0);
        if (!data)
            return failure(name);
        return data;
    }

    Failure failure(const QByteArray& fileName)
    {
        if (exceeded.load() != Limit::none) {
            JS_ClearPendingException(cx);
            return Failure{limitMessage()};
        }
        if (!JS_IsExceptionPending(cx))
            return Failure{u"the script stopped without saying why"_s};
        return Failure{takeException(fileName)};
    }
};

JavaScriptEngine::JavaScriptEngine(const JavaScriptLimits& limits) : m_session(std::make_unique<Session>(limits))
{
    if (!m_session->start())
        m_session.reset();
}

JavaScriptEngine::~JavaScriptEngine() = default;

bool JavaScriptEngine::isRunning() const
{
    return m_session != nullptr;
}

Result<QJsonValue> JavaScriptEngine::evaluate(const QString& source, const QString& fileName)
{
    if (!m_session)
        return Failure{u"the JavaScript engine could not be started"_s};
    return m_session->evaluate(source, fileName);
}

bool JavaScriptEngine::hasExceededLimit() const
{
    return m_session && m_session->exceeded.load() != Session::Limit::none;
}
