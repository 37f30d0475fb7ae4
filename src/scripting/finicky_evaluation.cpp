#include "finicky_evaluation.h"

#include "finicky_scripts.h"
#include "interchange/finicky_import.h"

#include <QJsonObject>
#include <QRegularExpression>

using namespace Qt::StringLiterals;
using FinickyConfig::Imported;
using FinickyConfig::ImportError;

namespace {

// The name errors in the configuration are reported under; only they get a line number.
const QString configurationFileName = u"finicky.js"_s;

// A configuration written as an ES module evaluates as a plain script once its default export is an assignment.
// The line breaks a match takes in (`\s` spans empty lines) are put back, so that errors name the right line.
QString preparedText(const QString& text)
{
    static const QRegularExpression exportDefault(uR"((*ANY)(?m)^\s*export\s+default\s+)"_s,
                                                  QRegularExpression::UseUnicodePropertiesOption);
    QString prepared;
    prepared.reserve(text.size());
    qsizetype copied = 0;
    for (QRegularExpressionMatchIterator it = exportDefault.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch match = it.next();
        prepared += QStringView(text).sliced(copied, match.capturedStart() - copied);
        for (const QChar c : match.capturedView()) {
            if (c == u'\n' || c == u'\r' || c == QChar(0x2028) || c == QChar(0x2029))
                prepared += c;
        }
        prepared += u"module.exports = "_s;
        copied = match.capturedEnd();
    }
    prepared += QStringView(text).sliced(copied);
    return prepared;
}

} // namespace

namespace FinickyEvaluation {

Result<Imported, ImportError> parse(const QString& text)
{
    return parse(text, JavaScriptLimits());
}

Result<Imported, ImportError> parse(const QString& text, const JavaScriptLimits& limits)
{
    JavaScriptEngine engine(limits);
    if (!engine.isRunning())
        return ImportError::notAConfig();

    // The shim and the extensions only define things; a limit reached while they run fails what comes after.
    (void)engine.evaluate(FinickyScripts::shim(), u"finicky-shim.js"_s);
    if (const Result<QJsonValue> evaluated = engine.evaluate(preparedText(text), configurationFileName); !evaluated)
        return ImportError::unreadable(evaluated.error());
    (void)engine.evaluate(FinickyScripts::extensions(), u"linkherd-extensions.js"_s);

    // An extraction that throws (a handler that is not an object) finds nothing usable.
    const Result<QJsonValue> extracted = engine.evaluate(u"__lhExtract()"_s, u"extract.js"_s);
    if (!extracted && engine.hasExceededLimit())
        return ImportError::unreadable(extracted.error());
    if (!extracted || !extracted->isObject())
        return ImportError::notAConfig();
    const Result<QJsonValue> extras = engine.evaluate(u"__lhExtras()"_s, u"extras.js"_s);
    if (!extras && engine.hasExceededLimit())
        return ImportError::unreadable(extras.error());

    return FinickyConfig::convert(extracted->toObject(), extras ? extras->toObject() : QJsonObject());
}

} // namespace FinickyEvaluation
